#include "TMainActions.h"

#include "TImageList.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFrame>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace {

constexpr int ButtonWidth = 63;
constexpr int SeparatorWidth = 8;

// The folder part of a path with its trailing '/'; empty when the path has none.
QString FolderOf(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? QString()
                                      : QString::fromStdString(fileName.substr(0, slash + 1));
}

void AddButton(QToolBar& toolBar, QAction* action, const char* name) {
    toolBar.addAction(action);
    QWidget* button = toolBar.widgetForAction(action);
    button->setObjectName(QLatin1String(name));
    button->setMinimumWidth(ButtonWidth);
}

void AddSeparator(QToolBar& toolBar, const char* name) {
    auto* separator = new QFrame(&toolBar);
    separator->setObjectName(QLatin1String(name));
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setFixedWidth(SeparatorWidth);
    toolBar.addWidget(separator);
}

} // namespace

TMainActions::TMainActions(QWidget& window, const TImageList& images, TMainActionsHost& host)
    : QObject(&window), FWindow(window), FImages(images), FHost(host) {
    setObjectName(QStringLiteral("ActionList1"));
    actPlay = CreateAction("Play", 1, &TMainActions::actPlayExecute);
    actPause = CreateAction("Pause", 2, &TMainActions::actPauseExecute);
    actStop = CreateAction("Stop", 0, &TMainActions::actStopExecute);
    actStopAll = CreateAction("Stop All", 8, &TMainActions::actStopAllExecute);
    actInsertCue = CreateAction("Insert", 9, &TMainActions::actInsertCueExecute);
    actDeleteCue = CreateAction("Delete", 10, &TMainActions::actDeleteCueExecute);
    actSelectAudioFile =
        CreateAction("Select Audio File", 11, &TMainActions::actSelectAudioFileExecute);
    actHelp = CreateAction("Help", 4, &TMainActions::actHelpExecute);
    actRestore = CreateAction("Restore", 6, nullptr);
    actExit = CreateAction("Exit", 5, nullptr);
}

QAction* TMainActions::CreateAction(const char* caption, int picture,
                                    void (TMainActions::*handler)()) {
    auto* action = new QAction(FImages.Icon(picture), QLatin1String(caption), &FWindow);
    action->setIconVisibleInMenu(true);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

QToolBar* TMainActions::CreateToolBar() {
    auto* toolBar = new QToolBar(&FWindow);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->toggleViewAction()->setVisible(false);
    AddButton(*toolBar, actStopAll, "ToolButton1");
    AddSeparator(*toolBar, "ToolButton7");
    AddButton(*toolBar, actPlay, "ToolButton2");
    AddButton(*toolBar, actPause, "ToolButton3");
    AddButton(*toolBar, actStop, "ToolButton4");
    AddSeparator(*toolBar, "ToolButton8");
    AddButton(*toolBar, actInsertCue, "ToolButton5");
    AddButton(*toolBar, actDeleteCue, "ToolButton6");
    AddSeparator(*toolBar, "ToolButton9");
    AddButton(*toolBar, actHelp, "ToolButton10");
    return toolBar;
}

void TMainActions::UpdateActions() {
    const TCueList& cues = FHost.Cues();
    const TCue* cue = cues.CurrentCue();
    const bool allStopped = cues.AllStopped();
    if (!cue) {
        actPlay->setEnabled(false);
        actPause->setEnabled(false);
        actStop->setEnabled(false);
        actDeleteCue->setEnabled(false);
    } else {
        const TCueState state = cue->State();
        actPlay->setEnabled(state != csPlaying && cue->FileFound());
        actPause->setEnabled(state == csPlaying);
        actStop->setEnabled(state != csStopped);
        actDeleteCue->setEnabled(allStopped && cues.Count() > 0);
    }
    actInsertCue->setEnabled(allStopped);
    actStopAll->setEnabled(!allStopped);
}

TCue* TMainActions::CueOfCurrentRow() const {
    const TCueList& cues = FHost.Cues();
    const int32_t row = FHost.CurrentRow();
    return row >= 1 && row <= cues.Count() ? cues.Items(row - 1) : nullptr;
}

void TMainActions::actPlayExecute() {
    if (TCue* cue = CueOfCurrentRow())
        cue->Play();
}

void TMainActions::actPauseExecute() {
    if (TCue* cue = CueOfCurrentRow())
        cue->Pause();
}

void TMainActions::actStopExecute() {
    if (TCue* cue = CueOfCurrentRow())
        cue->Stop();
}

void TMainActions::actStopAllExecute() {
    FHost.Cues().StopAll();
}

void TMainActions::actInsertCueExecute() {
    TCueList& cues = FHost.Cues();
    auto cue = std::make_unique<TCue>();
    FHost.BindCueStateChange(*cue);
    cues.AssignMissingUIDs();
    cues.Insert(std::clamp(FHost.CurrentRow() - 1, 0, cues.Count()), std::move(cue));
    actSelectAudioFile->trigger();
    FHost.RefreshGrid();
}

void TMainActions::actDeleteCueExecute() {
    TCueList& cues = FHost.Cues();
    if (!cues.CurrentCue())
        return;
    cues.Delete(cues.Current() - 1);
    FHost.RefreshGrid();
}

void TMainActions::actSelectAudioFileExecute() {
    TCue* cue = FHost.Cues().CurrentCue();
    if (!cue)
        return;
    const TOpenFileRequest request{
        QStringLiteral("Select audio file for this cue"),
        FolderOf(cue->FileName),
        {QStringLiteral("Audio Files (*.wav *.mp3 *.wma *.ogg *.aiff *.flac)"),
         QStringLiteral("All Files (*)")}};
    if (const std::optional<QString> file = FHost.AskForAudioFile(request))
        cue->FileName = file->toStdString();
}

std::optional<QString> TMainActions::ShowOpenFileDialog(QWidget* parent,
                                                        const TOpenFileRequest& request) {
    QFileDialog dialog(parent, request.Title, request.Folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist (yet) is accepted; Play stays disabled until it does.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.Filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void TMainActions::actHelpExecute() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(FHost.HelpFile())));
}
