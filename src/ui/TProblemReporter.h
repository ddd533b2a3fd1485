#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QWidget;
class TCueList;
class TMessageStrip;
class TOutputNames;

// How the window tells the operator what went wrong: while the show runs, in the message strip,
// so that the keys keep working; at start-up, at the close and for what the operator has just
// done by hand, in a box. UI thread only.
class TProblemReporter : public QObject {
    Q_OBJECT

public:
    // windowPlaced: whether the window has been shown once, so that a box may have it as parent.
    TProblemReporter(TMessageStrip& strip, QWidget& window, std::function<bool()> windowPlaced);

    // A problem of `kind` (what it is about, e.g. "save") in the strip and on standard error;
    // an empty text: the problem is gone. With `retry`, the strip offers a Retry button.
    void SetProblem(const QString& kind, const QString& text, std::function<void()> retry = {});
    // Says which outputs that cues name have gone, and takes it back once they return.
    void ReportMissingOutputs(const TOutputNames& outputs, const TCueList& cues);

    // The standard error box: stop icon, OK.
    void ShowError(const std::string& text);
    // A plain message box: no icon, OK.
    void ShowMessage(const std::string& text);
    // The error box once the current event has been handled.
    void ShowErrorBox(const QString& text);

private:
    void ShowBox(QMessageBox::Icon icon, const std::string& text);

    TMessageStrip& FStrip;
    QWidget& FWindow;
    const std::function<bool()> FWindowPlaced;
};
