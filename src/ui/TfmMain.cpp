#include "TfmMain.h"

#include "EXMLParseError.h"
#include "SettingsMessages.h"

#include <QAction>
#include <QCloseEvent>
#include <QMessageBox>
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
    actHelp = new QAction(QStringLiteral("Help"), this);
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
    LoadSettings();
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
    SaveSettings();
}

void TfmMain::FormDestroy() {
    Production.reset();
}

// The error box: stop icon, OK, the text as plain text with its CR LF line breaks.
void TfmMain::ShowError(const std::string& text) {
    QMessageBox box(
        QMessageBox::Critical, QStringLiteral("Trelmo"),
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
        QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// A file that cannot be read is reported; start-up goes on with the defaults.
void TfmMain::LoadSettings() {
    Production->OnCueStateChange = [this](const std::string& uid) { CueStateChanged(uid); };
    try {
        Production->LoadFromFile(Production->FileName);
    } catch (const EXMLParseError& error) {
        ShowError(LoadErrorText(error));
    }
}

// A failed save is reported before the program ends, so the loss is not silent.
void TfmMain::SaveSettings() {
    std::string failure;
    if (!Production->SaveToFile(Production->FileName, &failure))
        ShowError(SaveErrorText(Production->FileName, failure));
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
