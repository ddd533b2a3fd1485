#include "TfmMain.h"

#include "SettingsMessages.h"
#include "TAudioEngine.h"
#include "TCollectShow.h"
#include "TCueCommands.h"
#include "TCueGrid.h"
#include "TDroppedFiles.h"
#include "TFindMissingFiles.h"
#include "TMainActions.h"
#include "TMessageStrip.h"
#include "TOutputNames.h"
#include "TSettingsLocation.h"
#include "TShowControl.h"
#include "TShowFiles.h"
#include "TShowKeeper.h"
#include "TShowKeys.h"
#include "TTrayIcon.h"
#include "TextRules.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
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
    ErrorBox = [this](const QString& text) { ShowErrorBox(text); };
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
    connect(UndoStack, &QUndoStack::indexChanged, this, &TfmMain::SaveSoon);
    CreateActions();
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    CreateGrid();
    ConnectAppInstances(std::move(appInstances));
    TrayIcon = new TTrayIcon(this, ActionList1->actRestore, ActionList1->actExit, this);
    TrayIcon->Activate();
    FAudio = std::move(audio);
    SetAudioLibrary(FAudio.get());
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
    layout->addWidget(MessageStrip);
    layout->addWidget(grSounds, 1);
    setCentralWidget(central);
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
    InitAudioDevices();
    ShowOutputs();
    CreateShowFiles();
}

// Problems with a show command go to the strip: cues may be playing.
void TfmMain::CreateShowFiles() {
    TShowFiles::THost host{
        [this](const QString& question) { return !ConfirmClose || ConfirmClose(question); },
        [this](const std::string& text) {
            SetProblem(QStringLiteral("show"), QString::fromStdString(text));
        },
        [this] { ShowChanged(); }};
    ShowFiles =
        new TShowFiles(*ActionList1, *Keeper, *Production, *UndoStack, std::move(host), this);
    FindMissingFiles = new TFindMissingFiles(
        *this, Production->Cues, *UndoStack,
        [this](const QString& text) { SetProblem(QStringLiteral("missing"), text); },
        [this] { RefreshGrid(); });
    connect(ActionList1->actFindMissingFiles, &QAction::triggered, FindMissingFiles,
            &TFindMissingFiles::Run);
    CollectShow = new TCollectShow(
        *this, *Keeper, *Production, *UndoStack,
        [this](const QString& text) { SetProblem(QStringLiteral("collect"), text); },
        [this] { ShowChanged(); });
    connect(ActionList1->actCollectShow, &QAction::triggered, CollectShow, &TCollectShow::Run);
    ShowTitle();
}

// The title names the show file open.
void TfmMain::ShowChanged() {
    ShowTitle();
    SetProblem(QStringLiteral("show"), QString());
    RefreshGrid();
}

void TfmMain::ShowTitle() {
    const QString name = ShowFiles->ShowName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Trelmo")
                                  : QStringLiteral("%1 \u2013 Trelmo").arg(name));
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
    SaveSettings();
}

// A maximised window keeps the geometry it returns to.
void TfmMain::CaptureFormState() {
    TFormState& state = Production->FormState;
    state.Maximized = isMaximized();
    if (state.Maximized)
        return;
    state.Top = y();
    state.Left = x();
    state.Height = height();
    state.Width = width();
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

// What goes wrong at start-up is told in a box; start-up goes on.
void TfmMain::LoadSettings(const TSettingsLocation& settings) {
    Production->OnCueStateChange = [this](const TCue& cue) { CueStateChanged(cue); };
    Keeper = std::make_unique<TShowKeeper>(*Production);
    Keeper->OnCaptureFormState = [this] { CaptureFormState(); };
    Keeper->OnStartUpProblem = [this](const std::string& text) {
        std::cerr << "Trelmo: " << QString::fromStdString(text).remove(u'\r').toStdString()
                  << std::endl;
        ShowError(text);
    };
    Keeper->OnSaveProblem = [this](const std::string& text) { ShowSaveProblem(text); };
    Keeper->Open(settings);
}

// A failed save is reported before the program ends, so the loss is not silent.
void TfmMain::SaveSettings() {
    std::string failure;
    if (!Keeper->SaveAtClose(failure))
        ShowError(SaveErrorText(Production->FileName, failure));
}

void TfmMain::SaveSoon() {
    if (FFormShown)
        Keeper->Changed();
}

// The next change tries again, and so do Retry and the close; or the operator chooses another
// file.
void TfmMain::ShowSaveProblem(const std::string& text) {
    const QString kind = QStringLiteral("save");
    if (text.empty()) {
        SetProblem(kind, QString());
        return;
    }
    std::vector<TMessageStrip::TAction> actions;
    if (Keeper->Writes())
        actions.push_back({tr("Retry"), [this] { Keeper->SaveNow(); }});
    actions.push_back({tr("Save Elsewhere..."), [this] { SaveElsewhere(); }});
    MessageStrip->Show(kind, QString::fromStdString(text), actions);
}

void TfmMain::SaveElsewhere() {
    const QString path =
        SaveFileDialog ? SaveFileDialog(QString::fromStdString(Production->FileName)) : QString();
    if (path.isEmpty())
        return;
    std::string failure;
    if (!Keeper->SaveTo(path.toStdString(), failure))
        ShowSaveProblem(failure);
}

void TfmMain::SetProblem(const QString& kind, const QString& text, std::function<void()> retry) {
    if (text.isEmpty()) {
        MessageStrip->Remove(kind);
        return;
    }
    std::vector<TMessageStrip::TAction> actions;
    if (retry)
        actions.push_back({tr("Retry"), std::move(retry)});
    MessageStrip->Show(kind, text, actions);
}

void TfmMain::InitAudioDevices() {
    if (!FAudio->AudioGetDeviceInfo(1, nullptr)) {
        ShowError("No audio output device was found: " + FAudio->NoDeviceReason() +
                  ". Cues cannot be played until a sound server runs. Start it; Trelmo "
                  "finds it by itself, without a restart.");
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
    connect(&outputs, &TOutputNames::Changed, this, &TfmMain::ReportMissingOutputs);
    outputs.SetSource([this] { return FAudio->AudioDevices(); });
    FAudio->SetOnDevicesChanged([this] {
        QMetaObject::invokeMethod(
            this, [this] { grSounds->Model()->Outputs().Refresh(); }, Qt::QueuedConnection);
    });
}

// Says which outputs that cues name have gone, and takes it back once they return.
void TfmMain::ReportMissingOutputs() {
    const TOutputNames& outputs = grSounds->Model()->Outputs();
    const TCueList& cues = Production->Cues;
    for (int32_t number = 2; number <= TOutputNames::Highest; ++number) {
        bool used = false;
        for (int32_t i = 0; i < cues.Count() && !used; ++i)
            used = cues.Items(i)->AudioChannel() == number;
        SetProblem(QStringLiteral("output %1").arg(number),
                   used ? outputs.MissingText(number) : QString());
    }
}

// The standard error box: stop icon, OK.
void TfmMain::ShowError(const std::string& text) {
    ShowBox(QMessageBox::Critical, text);
}

// A plain message box: no icon, OK.
void TfmMain::ShowMessage(const std::string& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

// Modal, captioned "Trelmo"; the text as plain text with its CR LF line breaks. A box before
// the first show has no parent: as the parent of a box, the window would be created before
// FormShow places it, and it would creep up by its title bar every run.
void TfmMain::ShowBox(QMessageBox::Icon icon, const std::string& text) {
    QMessageBox box(
        icon, QStringLiteral("Trelmo"),
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
        QMessageBox::Ok, FFormShown ? this : nullptr);
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
    const int32_t row = Production->Cues.IndexOf(&cue).Number();
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
        grSounds->setCurrentIndex(grSounds->Model()->index(
            TCueNumber(row).Row(), std::max(grSounds->currentIndex().column(), 0)));
}

void TfmMain::CurrentCueChanged(int32_t, int32_t) {
    UpdateActions();
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
    SaveSoon();
}

void TfmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    SaveSoon();
}
