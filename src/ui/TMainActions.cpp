#include "TMainActions.h"

#include "TCueGrid.h"
#include "TImageList.h"
#include "TfmMain.h"

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

TMainActions::TMainActions(TfmMain& form) : QObject(&form), FForm(form) {
    setObjectName(QStringLiteral("ActionList1"));
    form.actPlay = CreateAction("Play", 1, &TMainActions::actPlayExecute);
    form.actPause = CreateAction("Pause", 2, &TMainActions::actPauseExecute);
    form.actStop = CreateAction("Stop", 0, &TMainActions::actStopExecute);
    form.actStopAll = CreateAction("Stop All", 8, &TMainActions::actStopAllExecute);
    form.actInsertCue = CreateAction("Insert", 9, &TMainActions::actInsertCueExecute);
    form.actDeleteCue = CreateAction("Delete", 10, &TMainActions::actDeleteCueExecute);
    form.actSelectAudioFile =
        CreateAction("Select Audio File", 11, &TMainActions::actSelectAudioFileExecute);
    form.actHelp = CreateAction("Help", 4, &TMainActions::actHelpExecute);
    form.actRestore = CreateAction("Restore", 6, nullptr);
    connect(form.actRestore, &QAction::triggered, &form, &TfmMain::actRestoreExecute);
    form.actExit = CreateAction("Exit", 5, nullptr);
    connect(form.actExit, &QAction::triggered, &form, &TfmMain::actExitExecute);
}

QAction* TMainActions::CreateAction(const char* caption, int picture,
                                    void (TMainActions::*handler)()) {
    auto* action = new QAction(FForm.ImageList1.Icon(picture), QLatin1String(caption), &FForm);
    action->setIconVisibleInMenu(true);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

QToolBar* TMainActions::CreateToolBar() {
    auto* toolBar = new QToolBar(&FForm);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->toggleViewAction()->setVisible(false);
    AddButton(*toolBar, FForm.actStopAll, "ToolButton1");
    AddSeparator(*toolBar, "ToolButton7");
    AddButton(*toolBar, FForm.actPlay, "ToolButton2");
    AddButton(*toolBar, FForm.actPause, "ToolButton3");
    AddButton(*toolBar, FForm.actStop, "ToolButton4");
    AddSeparator(*toolBar, "ToolButton8");
    AddButton(*toolBar, FForm.actInsertCue, "ToolButton5");
    AddButton(*toolBar, FForm.actDeleteCue, "ToolButton6");
    AddSeparator(*toolBar, "ToolButton9");
    AddButton(*toolBar, FForm.actHelp, "ToolButton10");
    return toolBar;
}

void TMainActions::UpdateActions() {
    const TCueList& cues = FForm.Production->Cues;
    const TCue* cue = cues.CurrentCue();
    const bool allStopped = cues.AllStopped();
    if (!cue) {
        FForm.actPlay->setEnabled(false);
        FForm.actPause->setEnabled(false);
        FForm.actStop->setEnabled(false);
        FForm.actDeleteCue->setEnabled(false);
    } else {
        const TCueState state = cue->State();
        FForm.actPlay->setEnabled(state != csPlaying && cue->FileFound());
        FForm.actPause->setEnabled(state == csPlaying);
        FForm.actStop->setEnabled(state != csStopped);
        FForm.actDeleteCue->setEnabled(allStopped && cues.Count() > 0);
    }
    FForm.actInsertCue->setEnabled(allStopped);
    FForm.actStopAll->setEnabled(!allStopped);
}

TCue* TMainActions::CueOfCurrentRow() const {
    return FForm.grSounds->Model()->CueOfRow(FForm.grSounds->CurrentRow());
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
    FForm.Production->Cues.StopAll();
}

void TMainActions::actInsertCueExecute() {
    TCueList& cues = FForm.Production->Cues;
    auto cue = std::make_unique<TCue>();
    FForm.BindCueStateChange(*cue);
    cues.AssignMissingUIDs();
    cues.Insert(std::clamp(FForm.grSounds->CurrentRow() - 1, 0, cues.Count()), std::move(cue));
    FForm.actSelectAudioFile->trigger();
    FForm.RefreshGrid();
}

void TMainActions::actDeleteCueExecute() {
    TCueList& cues = FForm.Production->Cues;
    if (!cues.CurrentCue())
        return;
    cues.Delete(cues.Current() - 1);
    FForm.RefreshGrid();
}

void TMainActions::actSelectAudioFileExecute() {
    TCue* cue = FForm.Production->Cues.CurrentCue();
    if (!cue || !FForm.OpenFileDialog)
        return;
    const TOpenFileRequest request{
        QStringLiteral("Select audio file for this cue"),
        FolderOf(cue->FileName),
        {QStringLiteral("Audio Files (*.wav *.mp3 *.wma *.ogg *.aiff *.flac)"),
         QStringLiteral("All Files (*)")}};
    if (const std::optional<QString> file = FForm.OpenFileDialog(request))
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
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(FForm.FHelpFile)));
}
