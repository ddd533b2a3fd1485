#include "TfmMain.h"

#include "TAudioEngine.h"
#include "TPulseOutput.h"

#include <QAction>
#include <QCloseEvent>
#include <QMessageBox>
#include <QShowEvent>

#include <atomic>
#include <filesystem>

namespace {

std::string ExecutableDirectory() {
    std::error_code ec;
    std::string dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

// The window that end-of-stream notices go to; set while its audio engine exists.
std::atomic<TfmMain*> g_endSyncWindow = nullptr;

void ShowError(QWidget* parent, const std::string& text) {
    QMessageBox::critical(parent, QStringLiteral("Trelmo"), QString::fromStdString(text),
                          QMessageBox::Ok);
}

TCue* CueOfStream(const TCueList& cues, HSTREAM stream) {
    for (int32_t i = 0; i < cues.Count(); ++i)
        if (cues.Items(i)->Stream() == stream)
            return cues.Items(i);
    return nullptr;
}

} // namespace

TfmMain::TfmMain(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Trelmo"));
    setMinimumSize(600, 200);
    actHelp = new QAction(QStringLiteral("Help"), this);
    FAudio = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
    SetAudioLibrary(FAudio.get());
    g_endSyncWindow = this;
    SetCueEndSyncProc(CueEndSync);
    FormCreate();
}

TfmMain::~TfmMain() {
    FormDestroy();
}

void TfmMain::FormCreate() {
    AppDir = ExecutableDirectory();
    FHelpFile = AppDir + "Trelmo.chm";
    std::error_code ec;
    actHelp->setEnabled(std::filesystem::is_regular_file(FHelpFile, ec));
    Production = std::make_unique<TProduction>();
    Production->Cues.OnCurrentChange = [this](int32_t oldNumber, int32_t newNumber) {
        CurrentCueChanged(oldNumber, newNumber);
    };
    Production->FileName = AppDir + "Settings.xml";
    InitAudioDevices();
}

void TfmMain::InitAudioDevices() {
    if (!FAudio->AudioGetDeviceInfo(1, nullptr)) {
        ShowError(this, "No audio output device was found: " + FAudio->NoDeviceReason() +
                            ". Cues cannot be played. Start the sound server, then restart "
                            "Trelmo.");
        return;
    }
    for (uint32_t device = 1; device <= 255 && FAudio->AudioGetDeviceInfo(device, nullptr);
         ++device)
        if (!FAudio->AudioInit(device, 44100, 0, this, nullptr))
            ShowError(this, "Error initializing audio device " + std::to_string(device));
}

// Audio worker thread: only hands the notice to the UI thread.
void TfmMain::CueEndSync(HSYNC, HSTREAM stream, uint32_t data, void* user) {
    TfmMain* window = g_endSyncWindow;
    if (!window || !user)
        return;
    QMetaObject::invokeMethod(
        window,
        [window, uid = *static_cast<const std::string*>(user), stream, failed = data != 0] {
            window->CueEnded(uid, stream, failed);
        },
        Qt::QueuedConnection);
}

// Stops the cue only while it still plays the stream that ended: a notice from an earlier
// stream of the cue, or for another cue with the same UID, changes nothing.
void TfmMain::CueEnded(const std::string& uid, HSTREAM stream, bool failed) {
    const TCueList& cues = Production->Cues;
    const int32_t number = cues.IndexOfUID(uid);
    TCue* cue = number > 0 ? cues.Items(number - 1) : nullptr;
    if (!cue || cue->Stream() != stream)
        cue = CueOfStream(cues, stream);
    if (cue && !(cue->Loop && !failed))
        cue->Stop();
}

void TfmMain::FormShow() {
    const TFormState& state = Production->FormState;
    move(state.Left, state.Top);
    resize(state.Width, state.Height);
}

void TfmMain::FormClose() {
    TFormState& state = Production->FormState;
    state.Top = y();
    state.Left = x();
    state.Height = height();
    state.Width = width();
}

void TfmMain::FormDestroy() {
    Production.reset();
    SetCueEndSyncProc(nullptr);
    SetAudioLibrary(nullptr);
    FAudio.reset();
    g_endSyncWindow = nullptr;
}

void TfmMain::CueStateChanged(const std::string&) {}

void TfmMain::CurrentCueChanged(int32_t, int32_t) {}

void TfmMain::showEvent(QShowEvent* event) {
    if (!FFormShown) {
        FFormShown = true;
        FormShow();
    }
    QMainWindow::showEvent(event);
}

void TfmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}
