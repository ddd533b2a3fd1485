#include "TMainActions.h"

#include "TCueCommands.h"
#include "TImageList.h"
#include "TShowControl.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QMessageBox>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace {

constexpr int ButtonWidth = 63;
constexpr int SeparatorWidth = 8;

const QStringList AudioFilters = {
    QStringLiteral("Audio Files (*.wav *.mp3 *.wma *.ogg *.aiff *.flac)"),
    QStringLiteral("All Files (*)")};

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

// "Undo (Ctrl+Z)"; with a reason why the command does nothing now, that reason below.
QString KeyTip(const QAction& action, const QString& refusal = {}) {
    const QString tip =
        action.shortcut().isEmpty()
            ? action.text()
            : QStringLiteral("%1 (%2)").arg(action.text(),
                                            action.shortcut().toString(QKeySequence::NativeText));
    return refusal.isEmpty() ? tip : tip + QLatin1Char('\n') + refusal;
}

// A button with the action's picture only; its caption and shortcut show as the tooltip.
void AddIconButton(QToolBar& toolBar, QAction* action, const char* name) {
    toolBar.addAction(action);
    auto* button = qobject_cast<QToolButton*>(toolBar.widgetForAction(action));
    button->setObjectName(QLatin1String(name));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    action->setToolTip(KeyTip(*action));
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
    actAddFiles =
        CreateAction("Add Files\u2026", TImageList::AddFiles, &TMainActions::actAddFilesExecute);
    actAddFiles->setShortcut(QKeySequence::Open);
    actDeleteCue = CreateAction("Delete", 10, &TMainActions::actDeleteCueExecute);
    actUndo = CreateAction("Undo", TImageList::Undo, &TMainActions::actUndoExecute);
    actUndo->setShortcut(QKeySequence::Undo);
    actRedo = CreateAction("Redo", TImageList::Redo, &TMainActions::actRedoExecute);
    // Ctrl+Shift+Z first, then whatever else the desktop uses for Redo.
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    const QKeySequence ctrlShiftZ(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    redoKeys.removeAll(ctrlShiftZ);
    redoKeys.prepend(ctrlShiftZ);
    actRedo->setShortcuts(redoKeys);
    actSelectAudioFile =
        CreateAction("Select Audio File", 11, &TMainActions::actSelectAudioFileExecute);
    actHelp = CreateAction("Help", 4, &TMainActions::actHelpExecute);
    actRestore = CreateAction("Restore", 6, nullptr);
    actExit = CreateAction("Exit", 5, nullptr);
    CreateShowMenu();
}

// Add Files keeps Ctrl+O: adding sounds is what building a show does all the time, the empty
// grid teaches that key, and replacing the whole show is rarer and weightier.
void TMainActions::CreateShowMenu() {
    actNewShow = CreateAction("New Show", -1, nullptr);
    actNewShow->setShortcut(QKeySequence::New);
    actOpenShow = CreateAction("Open Show\u2026", TImageList::OpenFile, nullptr);
    actOpenShow->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    actSaveShowAs = CreateAction("Save Show As\u2026", -1, nullptr);
    actSaveShowAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    ShowMenu = new QMenu(&FWindow);
    ShowMenu->setObjectName(QStringLiteral("ShowMenu"));
    ShowMenu->addAction(actNewShow);
    ShowMenu->addAction(actOpenShow);
    RecentShowsMenu = ShowMenu->addMenu(QStringLiteral("Recent Shows"));
    RecentShowsMenu->setObjectName(QStringLiteral("RecentShowsMenu"));
    ShowMenu->addSeparator();
    ShowMenu->addAction(actSaveShowAs);
    actCollectShow = CreateAction("Save Show As with Media\u2026", -1, nullptr);
    ShowMenu->addAction(actCollectShow);
    ShowMenu->addSeparator();
    actFindMissingFiles = CreateAction("Find Missing Files\u2026", -1, nullptr);
    ShowMenu->addAction(actFindMissingFiles);
    ShowMenu->menuAction()->setText(QStringLiteral("Show"));
    ShowMenu->menuAction()->setIcon(FImages.Icon(TImageList::OpenFile));
    // The keys work with the menu closed.
    FWindow.addActions({actNewShow, actOpenShow, actSaveShowAs});
}

QAction* TMainActions::CreateAction(const char* caption, int picture,
                                    void (TMainActions::*handler)()) {
    auto* action = new QAction(FImages.Icon(picture), QString::fromUtf8(caption), &FWindow);
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
    AddIconButton(*toolBar, ShowMenu->menuAction(), "ToolButton15");
    qobject_cast<QToolButton*>(toolBar->widgetForAction(ShowMenu->menuAction()))
        ->setPopupMode(QToolButton::InstantPopup);
    AddSeparator(*toolBar, "ToolButton16");
    AddButton(*toolBar, actStopAll, "ToolButton1");
    AddSeparator(*toolBar, "ToolButton7");
    AddButton(*toolBar, actPlay, "ToolButton2");
    AddButton(*toolBar, actPause, "ToolButton3");
    AddButton(*toolBar, actStop, "ToolButton4");
    AddSeparator(*toolBar, "ToolButton8");
    AddButton(*toolBar, actInsertCue, "ToolButton5");
    AddIconButton(*toolBar, actAddFiles, "ToolButton11");
    AddButton(*toolBar, actDeleteCue, "ToolButton6");
    AddSeparator(*toolBar, "ToolButton9");
    AddIconButton(*toolBar, actUndo, "ToolButton12");
    AddIconButton(*toolBar, actRedo, "ToolButton13");
    AddSeparator(*toolBar, "ToolButton14");
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
        const TCue* target = PauseStopTarget();
        actPlay->setEnabled(cue->State() != csPlaying && cue->FileFound());
        const TCueSequencer& waits = FHost.Show().Sequencer();
        const bool waiting = target && waits.HasWait(*target) && !waits.HasPausedWait(*target);
        actPause->setEnabled(waiting ||
                             (target && target->State() == csPlaying && !target->Fading()));
        actStop->setEnabled(target != nullptr);
        actDeleteCue->setEnabled(allStopped && cues.Count() > 0);
    }
    actInsertCue->setEnabled(allStopped);
    actAddFiles->setEnabled(allStopped);
    actStopAll->setEnabled(!allStopped || FHost.Show().Sequencer().HasAnyWait());
    actUndo->setEnabled(FHost.History().CanUndoNow());
    actRedo->setEnabled(FHost.History().CanRedoNow());
    actUndo->setToolTip(KeyTip(*actUndo, FHost.History().UndoRefusal()));
    actRedo->setToolTip(KeyTip(*actRedo, FHost.History().RedoRefusal()));
}

TCue* TMainActions::PauseStopTarget() const {
    return FHost.Show().PauseStopTarget(FHost.CurrentRow());
}

void TMainActions::actPlayExecute() {
    FHost.Show().Start(FHost.CurrentRow());
}

void TMainActions::actPauseExecute() {
    if (TCue* cue = PauseStopTarget())
        FHost.Show().Pause(*cue);
}

void TMainActions::actStopExecute() {
    if (TCue* cue = PauseStopTarget())
        FHost.Show().Stop(*cue);
}

void TMainActions::actStopAllExecute() {
    FHost.Show().StopAll();
}

void TMainActions::actInsertCueExecute() {
    TCueList& cues = FHost.Cues();
    auto cue = std::make_unique<TCue>();
    FHost.BindCueStateChange(*cue);
    cues.AssignMissingUIDs();
    const int32_t position = std::clamp(FHost.CurrentRow().Row(), 0, cues.Count());
    cues.Insert(position, std::move(cue));
    actSelectAudioFile->trigger();
    FHost.History().Push(TCueRowsCommand::Inserted(cues, position, 1, QStringLiteral("Insert")));
    FHost.RefreshGrid();
}

// The chosen files become cues after the current cue, in the order chosen, each described by its
// file name; the last of them becomes the current cue, so that the next files follow it.
void TMainActions::actAddFilesExecute() {
    const QStringList files =
        ChooseFiles({QStringLiteral("Add audio files as cues"), FLastFolder, AudioFilters, true});
    if (files.isEmpty())
        return;
    TCueList& cues = FHost.Cues();
    const int32_t first = cues.CurrentCue() ? cues.Current().Next().Row() : cues.Count();
    for (int32_t i = 0; i < files.size(); ++i) {
        auto cue = std::make_unique<TCue>();
        FHost.BindCueStateChange(*cue);
        cue->FileName = files[i].toStdString();
        cue->Description = QFileInfo(files[i]).completeBaseName().toStdString();
        cues.Insert(first + i, std::move(cue));
    }
    cues.AssignMissingUIDs();
    const auto count = static_cast<int32_t>(files.size());
    FHost.History().Push(
        TCueRowsCommand::Inserted(cues, first, count, QStringLiteral("Add Files")));
    FHost.ShowChangedList(first + count);
}

void TMainActions::actDeleteCueExecute() {
    TCueList& cues = FHost.Cues();
    if (!cues.CurrentCue())
        return;
    FHost.History().Push(TCueRowsCommand::Delete(cues, cues.Current().Row()));
    FHost.RefreshGrid();
}

void TMainActions::actUndoExecute() {
    FHost.ShowChangedList(FHost.History().UndoNow());
}

void TMainActions::actRedoExecute() {
    FHost.ShowChangedList(FHost.History().RedoNow());
}

QStringList TMainActions::ChooseFiles(const TOpenFileRequest& request) {
    const QStringList files = FHost.AskForAudioFiles(request);
    if (!files.isEmpty())
        FLastFolder = QFileInfo(files.constLast()).absolutePath();
    return files;
}

void TMainActions::actSelectAudioFileExecute() {
    TCue* cue = FHost.Cues().CurrentCue();
    if (!cue)
        return;
    const QStringList files = ChooseFiles(
        {QStringLiteral("Select audio file for this cue"), FolderOf(cue->FileName), AudioFilters});
    if (!files.isEmpty())
        cue->FileName = files.constFirst().toStdString();
}

QStringList TMainActions::ShowOpenFileDialog(QWidget* parent, const TOpenFileRequest& request) {
    QFileDialog dialog(parent, request.Title, request.Folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A single name that does not exist (yet) is accepted; Play stays disabled until it does.
    dialog.setFileMode(request.MultipleFiles ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    dialog.setNameFilters(request.Filters);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void TMainActions::actHelpExecute() {
    const QString file = QString::fromStdString(FHost.HelpFile());
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        ShowWhereTheHelpIs(file);
}

// Without a program that opens it (no web browser, no xdg-open), the help file's place is shown
// in a box that is not modal and does not take the keys from the window: cues may be playing.
void TMainActions::ShowWhereTheHelpIs(const QString& file) {
    auto* box = new QMessageBox(
        QMessageBox::Information, QStringLiteral("Trelmo"),
        QStringLiteral("No program to open the manual was found. Open this file in a web "
                       "browser:\n%1")
            .arg(file),
        QMessageBox::Ok, &FWindow);
    box->setObjectName(QStringLiteral("HelpPlace"));
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->show();
}
