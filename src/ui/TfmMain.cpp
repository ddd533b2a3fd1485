#include "TfmMain.h"
#include "TTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QShowEvent>

#include <filesystem>

namespace {

std::string ExecutableDirectory() {
    std::error_code ec;
    std::string dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace

TfmMain::TfmMain(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Trelmo"));
    setMinimumSize(600, 200);
    // Only closing this window ends the application (see closeEvent), not the last visible
    // window going away: a message box closed while this window is in the tray would otherwise
    // end the program without saving.
    QApplication::setQuitOnLastWindowClosed(false);
    actHelp = new QAction(QStringLiteral("Help"), this);
    CreateTrayActions();
    TrayIcon = new TTrayIcon(this, actRestore, actExit, this);
    TrayIcon->Activate();
    FormCreate();
}

TfmMain::~TfmMain() {
    FormDestroy();
}

// The two commands of the tray menu.
void TfmMain::CreateTrayActions() {
    actRestore = new QAction(QStringLiteral("Restore"), this);
    connect(actRestore, &QAction::triggered, this, &TfmMain::actRestoreExecute);
    actExit = new QAction(QStringLiteral("Exit"), this);
    connect(actExit, &QAction::triggered, this, &TfmMain::close);
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
}

void TfmMain::CueStateChanged(const std::string&) {}

void TfmMain::CurrentCueChanged(int32_t, int32_t) {}

void TfmMain::actRestoreExecute() {
    TrayIcon->RestoreFromTray();
}

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
    // Also when the window is hidden in the tray, which Qt would not count as a last close.
    if (event->isAccepted())
        QApplication::quit();
}
