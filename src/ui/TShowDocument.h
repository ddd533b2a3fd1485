#pragma once

#include <QObject>

#include <string>

class TfmMain;
class TSettingsLocation;

// The window's part of keeping the show: Settings.xml read at start-up and written soon after
// each change and at the close, what goes wrong with that, the show menu's commands and the
// window's title. Works on the window's production, keeper and history. UI thread only.
class TShowDocument : public QObject {
    Q_OBJECT

public:
    explicit TShowDocument(TfmMain& window);

    // What goes wrong at start-up is told in a box; start-up goes on.
    void Load(const TSettingsLocation& settings);
    // A failed save is reported before the program ends, so the loss is not silent.
    void SaveAtClose();
    // Saves a little later, once the window has been shown.
    void SaveSoon();
    // The show menu's commands, Find Missing Files and Collect Show, after Load.
    void CreateShowFiles();

private:
    void CaptureFormState();
    void ShowSaveProblem(const std::string& text);
    void SaveElsewhere();
    void ShowChanged();
    void ShowTitle();

    TfmMain& FWindow;
};
