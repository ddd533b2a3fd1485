#include "TfmMain.h"

#include "TCueGrid.h"
#include "TMainActions.h"

#include <QAction>
#include <QCloseEvent>
#include <QMessageBox>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>

#include <filesystem>

namespace {

std::string ExecutableDirectory() {
    std::error_code ec;
    std::string dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

// An error text as the standard error box shows it: with a final "." unless it ends in one
// (or in a character below it).
QString StandardErrorText(QString text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    return text;
}

} // namespace

TfmMain::TfmMain(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Trelmo"));
    setWindowIcon(QIcon(QStringLiteral(":/trelmo.svg")));
    setMinimumSize(600, 200);
    OpenFileDialog = [this](const TOpenFileRequest& request) {
        return TMainActions::ShowOpenFileDialog(this, request);
    };
    ErrorBox = [this](const QString& text) { ShowErrorBox(text); };
    ActionList1 = new TMainActions(*this);
    ToolBar1 = ActionList1->CreateToolBar();
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    CreateGrid();
    FormCreate();
}

TfmMain::~TfmMain() {
    grSounds->disconnect(this);
    FormDestroy();
}

void TfmMain::CreateGrid() {
    grSounds =
        new TCueGrid([this] { return Production ? &Production->Cues : nullptr; }, ImageList1, this);
    grSounds->Model()->OnCellError = [this](const QString& text) { ErrorBox(text); };
    connect(grSounds, &TCueGrid::SelectCell, this, &TfmMain::grSoundsSelectCell);
    connect(grSounds, &TCueGrid::RowMoved, this, &TfmMain::grSoundsRowMoved);
    connect(grSounds, &TCueGrid::DblClickCell, this, &TfmMain::grSoundsDblClickCell);
    setCentralWidget(grSounds);
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
    RefreshGrid();
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

void TfmMain::CueStateChanged(const std::string& uid) {
    RefreshRowState(Production->Cues.IndexOfUID(uid));
}

void TfmMain::CurrentCueChanged(int32_t, int32_t) {
    UpdateActions();
}

void TfmMain::grSoundsSelectCell(int32_t row) {
    Production->Cues.SetCurrent(row);
}

void TfmMain::grSoundsRowMoved(int32_t from, int32_t to) {
    TCueList& cues = Production->Cues;
    if (from >= 1 && from <= cues.Count() && to >= 1 && to <= cues.Count())
        cues.Move(from - 1, to - 1);
    RefreshGrid();
}

void TfmMain::grSoundsDblClickCell(int32_t row, int col) {
    const TCue* cue = grSounds->Model()->CueOfRow(row);
    if (col != ccFileName || !cue || cue->State() != csStopped)
        return;
    actSelectAudioFile->trigger();
    RefreshRow(row);
}

void TfmMain::ShowErrorBox(const QString& text) {
    // Queued, so that an editor that reports while closing has closed before the box opens.
    QTimer::singleShot(0, this, [this, text] {
        QMessageBox::critical(this, QStringLiteral("Trelmo"), StandardErrorText(text));
    });
}

void TfmMain::actRestoreExecute() {
    showNormal();
    activateWindow();
}

void TfmMain::actExitExecute() {
    close();
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
}
