#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QMenu;
class TMainActions;
class TProduction;
class TShowKeeper;
class TCueUndoStack;

// The show menu's commands: New Show, Open Show, the recent shows and Save Show As, and show
// files named on the command line. Leaving a show asks first while cues play, and when its cues
// are in no show file. UI thread only.
class TShowFiles : public QObject {
    Q_OBJECT

public:
    // The window's side. Ask: a question the operator answers, true for yes; Tell: a problem
    // with the command just given; ShowChanged: another show (or the same under another name)
    // is in the production now.
    struct THost {
        std::function<bool(const QString& question)> Ask;
        std::function<void(const std::string& text)> Tell;
        std::function<void()> ShowChanged;
    };

    static constexpr const char* Suffix = ".trelmo";

    // Everything handed in outlives this object.
    TShowFiles(TMainActions& actions, TShowKeeper& keeper, TProduction& production,
               TCueUndoStack& history, THost host, QObject* parent);

    // Asks for a show file to open, or to save as; empty when cancelled. Tests answer them.
    std::function<QString(const QString& folder)> ChooseShowToOpen;
    std::function<QString(const QString& suggested)> ChooseShowToSave;

    // An argument list that names one existing show file.
    static bool IsShowFileArgument(const std::vector<std::string>& arguments);

    void NewShow();
    void OpenShow();
    void SaveShowAs();
    // Opens the show file at `path` (a recent show, a file named on the command line).
    void Open(const QString& path);
    // The show's name for the window's title: the show file's name, empty for Settings.xml.
    QString ShowName() const;

private:
    bool MayLeaveShow();
    void Left();
    void FillRecentMenu();
    QString Folder() const;

    TMainActions& FActions;
    TShowKeeper& FKeeper;
    TProduction& FProduction;
    TCueUndoStack& FHistory;
    const THost FHost;
};
