#include "TfmMain.h"

#include "TAudioEngine.h"
#include "TCueCommands.h"
#include "TCueGrid.h"
#include "TDroppedFiles.h"
#include "TGoArea.h"
#include "TLevelControls.h"
#include "TMainActions.h"
#include "TMessageStrip.h"
#include "TOutputNames.h"
#include "TProblemReporter.h"
#include "TRunningPanel.h"
#include "TSettingsLocation.h"
#include "TShowControl.h"
#include "TShowDocument.h"
#include "TShowFiles.h"
#include "TShowKeeper.h"
#include "TShowKeys.h"
#include "TStageZoom.h"
#include "TTrayIcon.h"
#include "TextRules.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <utility>

namespace {

std::string ExecutableDirectory() {
    std::error_code ec;
    std::string dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

// Trelmo.chm beside the executable when it is there, otherwise the manual installed with the
// program (TRELMO_MANUAL: its path relative to the executable's folder).
std::string HelpFileIn(const std::string& appDir) {
    const std::string chm = appDir + "Trelmo.chm";
    const std::filesystem::path manual =
        std::filesystem::path(appDir + TRELMO_MANUAL).lexically_normal();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(chm, ec) && std::filesystem::is_regular_file(manual, ec))
        return manual.string();
    return chm;
}

} // namespace

TfmMain::TfmMain(std::unique_ptr<TAudioEngine> audio, std::unique_ptr<TAppInstances> appInstances,
                 QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Trelmo"));
    setMinimumSize(600, 200);
    // Only closing this window ends the application (see closeEvent), not the last visible
    // window going away: a message box closed while this window is in the tray would otherwise
    // end the program without saving.
    QApplication::setQuitOnLastWindowClosed(false);
    OpenFileDialog = [this](const TOpenFileRequest& request) {
        return TMainActions::ShowOpenFileDialog(this, request);
    };
    ErrorBox = [this](const QString& text) { Problems->ShowErrorBox(text); };
    SaveFileDialog = [this](const QString& current) {
        return QFileDialog::getSaveFileName(this, tr("Save the Show Elsewhere"), current,
                                            tr("Settings (*.xml)"));
    };
    ConfirmClose = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Trelmo"), question,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    UndoStack = new TCueUndoStack(this);
    Document = new TShowDocument(*this);
    connect(UndoStack, &QUndoStack::indexChanged, Document, &TShowDocument::SaveSoon);
    CreateActions();
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    CreateGrid();
    CreateStageControls();
    ConnectAppInstances(std::move(appInstances));
    TrayIcon = new TTrayIcon(this, ActionList1->actRestore, ActionList1->actExit, this);
    TrayIcon->Activate();
    FAudio = std::move(audio);
    SetAudioLibrary(FAudio.get());
    FormCreate();
    RunHeldCmdLines();
}

TfmMain::~TfmMain() {
    // Shows the show control's and the grid's state, which go first.
    delete RunningPanel;
    grSounds->disconnect(this);
    UndoStack->disconnect(Document);
    FormDestroy();
    // The grid's model and the commands refer to ImageList1 and to this window, which go before
    // Qt deletes the children.
    delete grSounds;
    delete ActionList1;
}

void TfmMain::CreateActions() {
    ActionList1 = new TMainActions(*this, ImageList1, *this);
    connect(ActionList1->actRestore, &QAction::triggered, this, &TfmMain::actRestoreExecute);
    connect(ActionList1->actExit, &QAction::triggered, this, &TfmMain::actExitExecute);
    ToolBar1 = ActionList1->CreateToolBar();
    ShowKeys = new TShowKeys(
        *this, *ActionList1, [this] { FShow->Go(); }, [this] { FShow->Panic(); });
}

TCueList& TfmMain::Cues() {
    return Production->Cues;
}

TCueNumber TfmMain::CurrentRow() const {
    return grSounds->CurrentRow();
}

QStringList TfmMain::AskForAudioFiles(const TOpenFileRequest& request) {
    return OpenFileDialog ? OpenFileDialog(request) : QStringList();
}

TCueUndoStack& TfmMain::History() {
    return *UndoStack;
}

std::string TfmMain::HelpFile() const {
    return FHelpFile;
}

void TfmMain::CreateGrid() {
    grSounds =
        new TCueGrid([this] { return Production ? &Production->Cues : nullptr; }, ImageList1, this);
    grSounds->Model()->OnCellError = [this](const QString& text) { ErrorBox(text); };
    grSounds->Model()->OnCueEdited = [this](TCue& cue, const TCueSettings& before) {
        grSoundsCueEdited(cue, before);
    };
    grSounds->Model()->OnEditDone = [this](int32_t row) { RefreshRow(row); };
    connect(grSounds, &TCueGrid::DeleteKeyPressed, this,
            [this] { ActionList1->actDeleteCue->trigger(); });
    connect(grSounds, &TCueGrid::SelectCell, this, &TfmMain::grSoundsSelectCell);
    connect(grSounds, &TCueGrid::RowMoved, this, &TfmMain::grSoundsRowMoved);
    connect(grSounds, &TCueGrid::DblClickCell, this, &TfmMain::grSoundsDblClickCell);
    connect(grSounds, &TCueGrid::FilesDropped, this, &TfmMain::grSoundsFilesDropped);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    MessageStrip = new TMessageStrip(central);
    Problems = new TProblemReporter(*MessageStrip, *this, [this] { return FFormShown; });
    layout->addWidget(MessageStrip);
    FSplitter = new QSplitter(Qt::Horizontal, central);
    FSplitter->setChildrenCollapsible(false);
    FSplitter->addWidget(grSounds);
    FSplitter->setStretchFactor(0, 1);
    layout->addWidget(FSplitter, 1);
    setCentralWidget(central);
}

void TfmMain::CreateStageControls() {
    Levels = new TLevelControls(
        *this, [this] { return Production ? &Production->Playback : nullptr; },
        [this] { Document->SaveSoon(); }, *this);
    Levels->AddTo(*ActionList1->ShowMenu);
    statusBar()->addPermanentWidget(Levels->MasterControl());
    Zoom = new TStageZoom(*this, [this] { return grSounds->Editing(); });
    Zoom->AddTo(*ActionList1->ShowMenu);
    connect(Zoom, &TStageZoom::ScaleChanged, this, [this](int percent) {
        grSounds->SetTextScale(percent);
        if (Production)
            Production->FormState.Scale = percent;
        Document->SaveSoon();
    });
}

void TfmMain::ApplyStageSettings() {
    Levels->LoadSettings();
    Zoom->SetScale(Production->FormState.Scale);
}

// Shown or hidden as Settings.xml says; a change is saved like the window's geometry.
void TfmMain::CreateRunningPanel() {
    RunningPanel = new TRunningPanel(*FShow, *ShowKeys->actGo, *grSounds->Model(),
                                     *grSounds->PlaybackRefresh(), FSplitter);
    FSplitter->addWidget(RunningPanel);
    actRunningCues = &RunningPanel->Toggle();
    ActionList1->ShowMenu->addSeparator();
    ActionList1->ShowMenu->addAction(actRunningCues);
    actRunningCues->setChecked(Production->FormState.RunningCues);
    RunningPanel->setVisible(actRunningCues->isChecked());
    connect(actRunningCues, &QAction::toggled, this, [this](bool checked) {
        Production->FormState.RunningCues = checked;
        Document->SaveSoon();
        grSounds->setFocus();
    });
    connect(RunningPanel, &TRunningPanel::LiveLevelChanged, Levels, &TLevelControls::SetLiveLevel);
    connect(RunningPanel, &TRunningPanel::KeepLevelRequested, Levels, &TLevelControls::KeepLevel);
    const QFont base = RunningPanel->font();
    const auto scale = [this, base](int percent) {
        RunningPanel->setFont(TStageZoom::ScaledFont(base, percent));
    };
    scale(Zoom->Scale());
    connect(Zoom, &TStageZoom::ScaleChanged, RunningPanel, scale);
}

void TfmMain::FormCreate() {
    AppDir = ExecutableDirectory();
    FHelpFile = HelpFileIn(AppDir);
    std::error_code ec;
    ActionList1->actHelp->setEnabled(std::filesystem::is_regular_file(FHelpFile, ec));
    Production = std::make_unique<TProduction>();
    Production->Cues.OnCurrentChange = [this](int32_t oldNumber, int32_t newNumber) {
        CurrentCueChanged(oldNumber, newNumber);
    };
    FShow = std::make_unique<TShowControl>(Production->Cues, FClock);
    connect(FShow.get(), &TShowControl::StandbyChanged, this, &TfmMain::ShowStandby);
    connect(FShow.get(), &TShowControl::CueProblem, this,
            [this](quint64 identity, const QString& text) {
                SetProblem(QStringLiteral("play %1").arg(identity), text);
            });
    connect(&FShow->Sequencer(), &TCueSequencer::WaitsChanged, this, &TfmMain::UpdateActions);
    grSounds->Model()->SetSequencer(&FShow->Sequencer());
    LoadSettings(TSettingsLocation::Find(AppDir));
    FShow->SetGoLockout(std::chrono::milliseconds(Production->GoLockout.Milliseconds));
    ApplyStageSettings();
    InitAudioDevices();
    ShowOutputs();
    CreateRunningPanel();
    Document->CreateShowFiles();
}

void TfmMain::FormShow() {
    const TFormState& state = Production->FormState;
    move(state.Left, state.Top);
    resize(state.Width, state.Height);
    RefreshGrid();
    if (RunningPanel->isVisibleTo(this))
        RunningPanel->ShowWhole();
    // Keys such as Delete reach the grid at once.
    grSounds->setFocus();
}

void TfmMain::FormClose() {
    SaveSettings();
}

void TfmMain::FormDestroy() {
    FAudio->SetOnDevicesChanged(nullptr);
    // The commands hold cues taken out of the list; they go before the list and the engine.
    UndoStack->clear();
    Keeper.reset();
    FShow.reset();
    Production.reset();
    SetAudioLibrary(nullptr);
    FAudio.reset();
}

void TfmMain::LoadSettings(const TSettingsLocation& settings) {
    Document->Load(settings);
}

void TfmMain::SaveSettings() {
    Document->SaveAtClose();
}

void TfmMain::SetProblem(const QString& kind, const QString& text, std::function<void()> retry) {
    Problems->SetProblem(kind, text, std::move(retry));
}

void TfmMain::InitAudioDevices() {
    if (!FAudio->AudioGetDeviceInfo(1, nullptr)) {
        Problems->ShowError("No audio output device was found: " + FAudio->NoDeviceReason() +
                            ". Cues cannot be played until a sound server runs. Start it; Trelmo "
                            "finds it by itself, without a restart.");
        return;
    }
    for (uint32_t device = 1; device <= 255 && FAudio->AudioGetDeviceInfo(device, nullptr);
         ++device)
        if (!FAudio->AudioInit(device, 44100, 0, this, nullptr))
            Problems->ShowMessage("Error initializing audio device " + std::to_string(device));
}

// The Output column names the outputs, and follows them as they come and go.
void TfmMain::ShowOutputs() {
    TOutputNames& outputs = grSounds->Model()->Outputs();
    // Says which outputs that cues name have gone, and takes it back once they return.
    connect(&outputs, &TOutputNames::Changed, this, [this] {
        Problems->ReportMissingOutputs(grSounds->Model()->Outputs(), Production->Cues);
    });
    outputs.SetSource([this] { return FAudio->AudioDevices(); });
    FAudio->SetOnDevicesChanged([this] {
        QMetaObject::invokeMethod(
            this, [this] { grSounds->Model()->Outputs().Refresh(); }, Qt::QueuedConnection);
    });
}

void TfmMain::RefreshGrid() {
    grSounds->RefreshGrid();
    Production->Cues.SetCurrent(grSounds->CurrentRow());
    UpdateActions();
}

void TfmMain::RefreshRow(int32_t row) {
    grSounds->Model()->RefreshRow(row);
    RefreshRowState(row);
}

void TfmMain::RefreshRowState(int32_t row) {
    grSounds->Model()->RefreshRowState(row);
    UpdateActions();
}

// Every change to the list, its current cue or a cue's settings comes by here: the standby cue
// is armed again when it changed, before the actions ask whether its file is there.
void TfmMain::UpdateActions() {
    if (FShow)
        FShow->ArmStandby();
    ActionList1->UpdateActions();
}

// The row's picture, and its Time cell: a length becomes time left, and back.
void TfmMain::CueStateChanged(const TCue& cue) {
    const int32_t row = Production->Cues.IndexOf(&cue).Number();
    RefreshRowState(row);
    grSounds->Model()->RefreshTime(row);
    if (FShow)
        FShow->Running().RefreshSoon();
}

void TfmMain::BindCueStateChange(TCue& cue) {
    cue.OnStateChange = [this, changed = &cue](const std::string&) { CueStateChanged(*changed); };
}

void TfmMain::PushCommand(std::unique_ptr<TCueCommand> command) {
    UndoStack->Push(std::move(command));
    UpdateActions();
}

void TfmMain::ShowChangedList(int32_t row) {
    if (row < 0)
        return;
    RefreshGrid();
    if (row > 0)
        grSounds->setCurrentIndex(grSounds->Model()->index(
            TCueNumber(row).Row(), std::max(grSounds->currentIndex().column(), 0)));
}

void TfmMain::CurrentCueChanged(int32_t, int32_t) {
    UpdateActions();
    if (RunningPanel)
        RunningPanel->GoArea().Refresh();
}

void TfmMain::grSoundsSelectCell(int32_t row) {
    Production->Cues.SetCurrent(TCueNumber(row));
}

void TfmMain::grSoundsRowMoved(int32_t from, int32_t to) {
    TCueList& cues = Production->Cues;
    if (from != to && TCueNumber(from).In(cues.Count()) && TCueNumber(to).In(cues.Count())) {
        const int32_t fromRow = TCueNumber(from).Row(), toRow = TCueNumber(to).Row();
        cues.Move(fromRow, toRow);
        PushCommand(std::make_unique<TCueMoveCommand>(cues, fromRow, toRow));
    }
    RefreshGrid();
}

void TfmMain::grSoundsDblClickCell(int32_t row, int col) {
    TCue* cue = grSounds->Model()->CueOfRow(row);
    if (col != ccFileName || !cue || cue->State() != csStopped)
        return;
    const TCueSettings before = TCueSettings::Of(*cue);
    ActionList1->actSelectAudioFile->trigger();
    if (TCueSettings::Of(*cue) != before)
        grSoundsCueEdited(*cue, before);
    RefreshRow(row);
}

// Audio files dropped on the grid become cues there, as Insert makes them: only while every
// cue is stopped. Other files are named in one message.
void TfmMain::grSoundsFilesDropped(int32_t row, const QStringList& files) {
    TCueList& cues = Production->Cues;
    if (!cues.AllStopped()) {
        ErrorBox(QStringLiteral("Cues can be added only while every cue is stopped"));
        return;
    }
    const TDroppedFiles dropped(files);
    if (!dropped.Audio().isEmpty()) {
        const int32_t first = dropped.InsertInto(cues, TCueNumber(row).Row(),
                                                 [this](TCue& cue) { BindCueStateChange(cue); });
        const auto count = static_cast<int32_t>(dropped.Audio().size());
        PushCommand(TCueRowsCommand::Inserted(cues, first, count, QStringLiteral("Drop Files")));
        ShowChangedList(first + count);
    }
    if (!dropped.Refused().isEmpty())
        ErrorBox(dropped.RefusedText());
}

void TfmMain::grSoundsCueEdited(TCue& cue, const TCueSettings& before) {
    PushCommand(std::make_unique<TCueEditCommand>(Production->Cues, cue, before));
}

void TfmMain::ConnectAppInstances(std::unique_ptr<TAppInstances> appInstances) {
    AppInstances1 = std::move(appInstances);
    if (!AppInstances1)
        return;
    AppInstances1->OnCmdLineReceived = [this](const std::vector<std::string>& CmdLine) {
        ReceiveCmdLine(CmdLine);
    };
    AppInstances1->OnError = [this](const std::string& message) {
        SetProblem(QStringLiteral("remote"), QString::fromStdString(message));
    };
    AppInstances1->StartReceiving();
}

void TfmMain::ReceiveCmdLine(const std::vector<std::string>& CmdLine) {
    if (FFormCreated)
        AppInstances1CmdLineReceived(CmdLine);
    else
        FHeldCmdLines.push_back(CmdLine);
}

void TfmMain::RunHeldCmdLines() {
    FFormCreated = true;
    for (const std::vector<std::string>& CmdLine : std::exchange(FHeldCmdLines, {})) {
        try {
            AppInstances1CmdLineReceived(CmdLine);
        } catch (const std::exception& e) {
            Problems->ShowError(WithClosingPeriod(e.what()));
        }
    }
}

// Runs the commands of a forwarded argument list. Never moves the current cue or raises the
// window: a cue reports its new state through its own notification. A list without lines
// comes from the operator starting Trelmo again: the window comes to the front, also from the
// notification area. The cues a list plays start on the same sample.
void TfmMain::AppInstances1CmdLineReceived(const std::vector<std::string>& CmdLine) {
    if (CmdLine.empty()) {
        // Before the first show, start-up itself shows the window.
        if (FFormShown)
            TrayIcon->RestoreFromTray();
        return;
    }
    if (TShowFiles::IsShowFileArgument(CmdLine)) {
        ShowFiles->Open(QString::fromStdString(CmdLine.front()));
        return;
    }
    FShow->RunCommandLine(CmdLine);
}

void TfmMain::actRestoreExecute() {
    TrayIcon->RestoreFromTray();
}

void TfmMain::actExitExecute() {
    close();
}

void TfmMain::EndSession() {
    FSessionEnding = true;
    close();
}

// Asks first when closed by hand while cues play or are paused; they are stopped on yes.
bool TfmMain::CloseAllowed() {
    TCueList& cues = Production->Cues;
    int32_t playing = 0;
    for (int32_t i = 0; i < cues.Count(); ++i)
        playing += cues.Items(i)->State() != csStopped ? 1 : 0;
    if (FSessionEnding || playing == 0 || !ConfirmClose)
        return true;
    const QString question =
        playing == 1
            ? QStringLiteral("1 cue is playing. Close Trelmo and stop it?")
            : QStringLiteral("%1 cues are playing. Close Trelmo and stop them?").arg(playing);
    if (!ConfirmClose(question))
        return false;
    FShow->StopAll();
    return true;
}

void TfmMain::ShowStandby(int32_t number) {
    grSounds->setCurrentIndex(grSounds->Model()->index(
        TCueNumber(number).Row(), std::max(grSounds->currentIndex().column(), 0)));
    grSounds->scrollTo(grSounds->currentIndex());
}

void TfmMain::setVisible(bool visible) {
    if (visible && !FFormShown) {
        FFormShown = true;
        FormShow();
        if (Production->FormState.Maximized)
            setWindowState(windowState() | Qt::WindowMaximized);
    }
    QMainWindow::setVisible(visible);
}

void TfmMain::closeEvent(QCloseEvent* event) {
    if (!CloseAllowed()) {
        event->ignore();
        return;
    }
    FormClose();
    QMainWindow::closeEvent(event);
    // Also when the window is hidden in the tray, which Qt would not count as a last close.
    if (event->isAccepted())
        QApplication::quit();
}

void TfmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    Document->SaveSoon();
}

void TfmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Document->SaveSoon();
}
