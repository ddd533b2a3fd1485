#include "TfmMain.h"

#include "EXMLParseError.h"
#include "SettingsMessages.h"
#include "TAudioEngine.h"
#include "TAutoSave.h"
#include "TCueCommands.h"
#include "TCueGrid.h"
#include "TDroppedFiles.h"
#include "TMainActions.h"
#include "TOutputNames.h"
#include "TSettingsLocation.h"
#include "TShowKeys.h"
#include "TTrayIcon.h"
#include "TextRules.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <atomic>
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

// Changes are written this long after the first of them, so a crash loses at most this much.
constexpr std::chrono::seconds AutoSaveWait{1};

// The window that end-of-stream notices go to; set while its audio engine exists.
std::atomic<TfmMain*> g_endSyncWindow = nullptr;

TCue* CueOfStream(const TCueList& cues, HSTREAM stream) {
    for (int32_t i = 0; i < cues.Count(); ++i)
        if (cues.Items(i)->Stream() == stream)
            return cues.Items(i);
    return nullptr;
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
    ErrorBox = [this](const QString& text) { ShowErrorBox(text); };
    ConfirmClose = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Trelmo"), question,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    UndoStack = new TCueUndoStack(this);
    connect(UndoStack, &QUndoStack::indexChanged, this, &TfmMain::SaveSoon);
    FAutoSave = new TAutoSave([this] { AutoSave(); }, AutoSaveWait, this);
    CreateActions();
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    CreateGrid();
    ConnectAppInstances(std::move(appInstances));
    TrayIcon = new TTrayIcon(this, actRestore, actExit, this);
    TrayIcon->Activate();
    FAudio = std::move(audio);
    SetAudioLibrary(FAudio.get());
    g_endSyncWindow = this;
    SetCueEndSyncProc(CueEndSync);
    FormCreate();
    RunHeldCmdLines();
}

TfmMain::~TfmMain() {
    grSounds->disconnect(this);
    UndoStack->disconnect(this);
    FormDestroy();
    // The grid's model and the commands refer to ImageList1 and to this window, which go before
    // Qt deletes the children.
    delete grSounds;
    delete ActionList1;
}

void TfmMain::CreateActions() {
    ActionList1 = new TMainActions(*this, ImageList1, *this);
    actPlay = ActionList1->actPlay;
    actPause = ActionList1->actPause;
    actStop = ActionList1->actStop;
    actStopAll = ActionList1->actStopAll;
    actInsertCue = ActionList1->actInsertCue;
    actAddFiles = ActionList1->actAddFiles;
    actDeleteCue = ActionList1->actDeleteCue;
    actUndo = ActionList1->actUndo;
    actRedo = ActionList1->actRedo;
    actSelectAudioFile = ActionList1->actSelectAudioFile;
    actHelp = ActionList1->actHelp;
    actRestore = ActionList1->actRestore;
    actExit = ActionList1->actExit;
    connect(actRestore, &QAction::triggered, this, &TfmMain::actRestoreExecute);
    connect(actExit, &QAction::triggered, this, &TfmMain::actExitExecute);
    ToolBar1 = ActionList1->CreateToolBar();
    ShowKeys = new TShowKeys(
        *this, *ActionList1, [this] { Go(); }, [this] { Panic(); });
}

TCueList& TfmMain::Cues() {
    return Production->Cues;
}

int32_t TfmMain::CurrentRow() const {
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
    connect(grSounds, &TCueGrid::DeleteKeyPressed, this, [this] { actDeleteCue->trigger(); });
    connect(grSounds, &TCueGrid::SelectCell, this, &TfmMain::grSoundsSelectCell);
    connect(grSounds, &TCueGrid::RowMoved, this, &TfmMain::grSoundsRowMoved);
    connect(grSounds, &TCueGrid::DblClickCell, this, &TfmMain::grSoundsDblClickCell);
    connect(grSounds, &TCueGrid::FilesDropped, this, &TfmMain::grSoundsFilesDropped);
    setCentralWidget(grSounds);
}

void TfmMain::FormCreate() {
    AppDir = ExecutableDirectory();
    FHelpFile = HelpFileIn(AppDir);
    std::error_code ec;
    actHelp->setEnabled(std::filesystem::is_regular_file(FHelpFile, ec));
    Production = std::make_unique<TProduction>();
    Production->Cues.OnCurrentChange = [this](int32_t oldNumber, int32_t newNumber) {
        CurrentCueChanged(oldNumber, newNumber);
    };
    const TSettingsLocation settings = TSettingsLocation::Find(AppDir);
    Production->FileName = settings.FileName;
    LoadSettings(settings);
    FSavedText = Production->SaveToText();
    InitAudioDevices();
    ShowOutputs();
    FCommands = std::make_unique<TCommandList>();
}

void TfmMain::FormShow() {
    const TFormState& state = Production->FormState;
    move(state.Left, state.Top);
    resize(state.Width, state.Height);
    RefreshGrid();
    // Keys such as Delete reach the grid at once.
    grSounds->setFocus();
}

void TfmMain::FormClose() {
    FAutoSave->Cancel();
    CaptureFormState();
    SaveSettings();
}

void TfmMain::CaptureFormState() {
    TFormState& state = Production->FormState;
    state.Top = y();
    state.Left = x();
    state.Height = height();
    state.Width = width();
}

void TfmMain::FormDestroy() {
    FAudio->SetOnDevicesChanged(nullptr);
    // The commands hold cues taken out of the list; they go before the list and the engine.
    UndoStack->clear();
    Production.reset();
    FCommands.reset();
    SetCueEndSyncProc(nullptr);
    SetAudioLibrary(nullptr);
    FAudio.reset();
    g_endSyncWindow = nullptr;
}

// A file that cannot be read is reported; start-up goes on with the defaults.
void TfmMain::LoadSettings(const TSettingsLocation& settings) {
    Production->OnCueStateChange = [this](const TCue& cue) { CueStateChanged(cue); };
    try {
        settings.Load(*Production);
    } catch (const EXMLParseError& error) {
        ShowError(LoadErrorText(error));
    }
}

// A failed save is reported before the program ends, so the loss is not silent.
void TfmMain::SaveSettings() {
    std::string failure;
    if (Production->SaveToFile(Production->FileName, &failure))
        FSavedText = Production->SaveToText();
    else
        ShowError(SaveErrorText(Production->FileName, failure));
}

void TfmMain::SaveSoon() {
    if (FFormShown)
        FAutoSave->Changed();
}

// A failure is told once; the next change tries again, and so does the close.
void TfmMain::AutoSave() {
    CaptureFormState();
    const std::string text = Production->SaveToText();
    if (text == FSavedText)
        return;
    std::string failure;
    if (Production->SaveToFile(Production->FileName, &failure)) {
        FSavedText = text;
        FAutoSaveFailed = false;
    } else if (!std::exchange(FAutoSaveFailed, true)) {
        ErrorBox(QString::fromStdString(AutoSaveErrorText(Production->FileName, failure)));
    }
}

void TfmMain::InitAudioDevices() {
    if (!FAudio->AudioGetDeviceInfo(1, nullptr)) {
        ShowError("No audio output device was found: " + FAudio->NoDeviceReason() +
                  ". Cues cannot be played. Start the sound server, then restart Trelmo.");
        return;
    }
    for (uint32_t device = 1; device <= 255 && FAudio->AudioGetDeviceInfo(device, nullptr);
         ++device)
        if (!FAudio->AudioInit(device, 44100, 0, this, nullptr))
            ShowMessage("Error initializing audio device " + std::to_string(device));
}

// The Output column names the outputs, and follows them as they come and go.
void TfmMain::ShowOutputs() {
    TOutputNames& outputs = grSounds->Model()->Outputs();
    outputs.SetSource([this] { return FAudio->AudioDevices(); });
    FAudio->SetOnDevicesChanged([this] {
        QMetaObject::invokeMethod(
            this, [this] { grSounds->Model()->Outputs().Refresh(); }, Qt::QueuedConnection);
    });
}

// The standard error box: stop icon, OK.
void TfmMain::ShowError(const std::string& text) {
    ShowBox(QMessageBox::Critical, text);
}

// A plain message box: no icon, OK.
void TfmMain::ShowMessage(const std::string& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

// Modal, captioned "Trelmo"; the text as plain text with its CR LF line breaks.
void TfmMain::ShowBox(QMessageBox::Icon icon, const std::string& text) {
    QMessageBox box(
        icon, QStringLiteral("Trelmo"),
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
        QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// Queued, so that an editor that reports while closing has closed before the box opens.
void TfmMain::ShowErrorBox(const QString& text) {
    QTimer::singleShot(0, this, [this, text] { ShowError(WithClosingPeriod(text.toStdString())); });
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

void TfmMain::UpdateActions() {
    ActionList1->UpdateActions();
}

// The row's picture, and its Time cell: a length becomes time left, and back.
void TfmMain::CueStateChanged(const TCue& cue) {
    const int32_t row = Production->Cues.IndexOf(&cue);
    RefreshRowState(row);
    grSounds->Model()->RefreshTime(row);
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
        grSounds->setCurrentIndex(
            grSounds->Model()->index(row - 1, std::max(grSounds->currentIndex().column(), 0)));
}

void TfmMain::CurrentCueChanged(int32_t, int32_t) {
    UpdateActions();
}

void TfmMain::grSoundsSelectCell(int32_t row) {
    Production->Cues.SetCurrent(row);
}

void TfmMain::grSoundsRowMoved(int32_t from, int32_t to) {
    TCueList& cues = Production->Cues;
    if (from != to && from >= 1 && from <= cues.Count() && to >= 1 && to <= cues.Count()) {
        cues.Move(from - 1, to - 1);
        PushCommand(std::make_unique<TCueMoveCommand>(cues, from - 1, to - 1));
    }
    RefreshGrid();
}

void TfmMain::grSoundsDblClickCell(int32_t row, int col) {
    TCue* cue = grSounds->Model()->CueOfRow(row);
    if (col != ccFileName || !cue || cue->State() != csStopped)
        return;
    const TCueSettings before = TCueSettings::Of(*cue);
    actSelectAudioFile->trigger();
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
        const int32_t first =
            dropped.InsertInto(cues, row - 1, [this](TCue& cue) { BindCueStateChange(cue); });
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

// Audio worker thread: only hands the notice to the UI thread.
void TfmMain::CueEndSync(HSYNC, HSTREAM stream, uint32_t data, void* user) {
    TfmMain* window = g_endSyncWindow;
    if (!window || !user)
        return;
    QMetaObject::invokeMethod(
        window,
        [window, uid = *static_cast<const std::string*>(user), stream, data] {
            window->CueEnded(uid, stream, data);
        },
        Qt::QueuedConnection);
}

// Stops the cue only while it still plays the stream that ended: a notice from an earlier
// stream of the cue, or for another cue with the same UID, changes nothing.
// A looping cue plays on at the end of its file; a fade-out that reached silence, a failed
// output or the end of a file stops the cue at once.
void TfmMain::CueEnded(const std::string& uid, HSTREAM stream, uint32_t how) {
    const TCueList& cues = Production->Cues;
    const int32_t number = cues.IndexOfUID(uid);
    TCue* cue = number > 0 ? cues.Items(number - 1) : nullptr;
    if (!cue || cue->Stream() != stream)
        cue = CueOfStream(cues, stream);
    if (cue && !(cue->Loop && how == AUDIO_END_FILE))
        cue->StopNow();
}

void TfmMain::ConnectAppInstances(std::unique_ptr<TAppInstances> appInstances) {
    AppInstances1 = std::move(appInstances);
    if (!AppInstances1)
        return;
    AppInstances1->OnCmdLineReceived = [this](const std::vector<std::string>& CmdLine) {
        ReceiveCmdLine(CmdLine);
    };
    AppInstances1->OnError = [this](const std::string& message) { ShowError(message); };
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
            ShowError(WithClosingPeriod(e.what()));
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
    ParseCommandLine(CmdLine);
    const TAudioStartBatch together;
    for (int32_t i = 0; i < FCommands->Count(); ++i) {
        const TCommand& command = *FCommands->Items(i);
        if (command.Value < 1 || command.Value > Production->Cues.Count())
            continue;
        TCue* cue = Production->Cues.Items(command.Value - 1);
        if (command.Is("play"))
            cue->Play();
        else if (command.Is("pause"))
            cue->Pause();
        else if (command.Is("stop"))
            cue->Stop();
    }
}

int32_t TfmMain::ParseCommandLine(const std::vector<std::string>& CmdLine) {
    return FCommands->Parse(CmdLine);
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
    cues.StopAll();
    return true;
}

void TfmMain::Go() {
    TCueList& cues = Production->Cues;
    TCue* cue = cues.CurrentCue();
    if (!cue)
        return;
    cue->Play();
    SelectCue(cues.Current() + 1);
}

void TfmMain::Panic() {
    FPanic.Press(Production->Cues);
}

void TfmMain::SelectCue(int32_t number) {
    if (number < 1 || number > Production->Cues.Count())
        return;
    grSounds->setCurrentIndex(
        grSounds->Model()->index(number - 1, std::max(grSounds->currentIndex().column(), 0)));
    grSounds->scrollTo(grSounds->currentIndex());
}

void TfmMain::setVisible(bool visible) {
    if (visible && !FFormShown) {
        FFormShown = true;
        FormShow();
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
    SaveSoon();
}

void TfmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    SaveSoon();
}
