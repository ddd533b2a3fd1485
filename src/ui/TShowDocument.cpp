#include "TShowDocument.h"

#include "SettingsMessages.h"
#include "TCollectShow.h"
#include "TFindMissingFiles.h"
#include "TLevelControls.h"
#include "TMessageStrip.h"
#include "TProblemReporter.h"
#include "TSettingsLocation.h"
#include "TShowFiles.h"
#include "TShowKeeper.h"
#include "TfmMain.h"

#include <QAction>

#include <iostream>
#include <vector>

TShowDocument::TShowDocument(TfmMain& window) : QObject(&window), FWindow(window) {}

void TShowDocument::Load(const TSettingsLocation& settings) {
    TProduction& production = *FWindow.Production;
    production.OnCueStateChange = [this](const TCue& cue) { FWindow.CueStateChanged(cue); };
    FWindow.Keeper = std::make_unique<TShowKeeper>(production);
    TShowKeeper& keeper = *FWindow.Keeper;
    keeper.OnCaptureFormState = [this] { CaptureFormState(); };
    keeper.OnStartUpProblem = [this](const std::string& text) {
        std::cerr << "Trelmo: " << QString::fromStdString(text).remove(u'\r').toStdString()
                  << std::endl;
        FWindow.Problems->ShowError(text);
    };
    keeper.OnSaveProblem = [this](const std::string& text) { ShowSaveProblem(text); };
    keeper.Open(settings);
}

void TShowDocument::SaveAtClose() {
    std::string failure;
    if (!FWindow.Keeper->SaveAtClose(failure))
        FWindow.Problems->ShowError(SaveErrorText(FWindow.Production->FileName, failure));
}

void TShowDocument::SaveSoon() {
    if (FWindow.FormShown())
        FWindow.Keeper->Changed();
}

// A maximised window keeps the geometry it returns to.
void TShowDocument::CaptureFormState() {
    TFormState& state = FWindow.Production->FormState;
    state.Maximized = FWindow.isMaximized();
    if (state.Maximized)
        return;
    state.Top = FWindow.y();
    state.Left = FWindow.x();
    state.Height = FWindow.height();
    state.Width = FWindow.width();
}

// The next change tries again, and so do Retry and the close; or the operator chooses another
// file.
void TShowDocument::ShowSaveProblem(const std::string& text) {
    const QString kind = QStringLiteral("save");
    if (text.empty()) {
        FWindow.SetProblem(kind, QString());
        return;
    }
    std::vector<TMessageStrip::TAction> actions;
    if (FWindow.Keeper->Writes())
        actions.push_back({tr("Retry"), [this] { FWindow.Keeper->SaveNow(); }});
    actions.push_back({tr("Save Elsewhere..."), [this] { SaveElsewhere(); }});
    FWindow.MessageStrip->Show(kind, QString::fromStdString(text), actions);
}

void TShowDocument::SaveElsewhere() {
    const QString current = QString::fromStdString(FWindow.Production->FileName);
    const QString path = FWindow.SaveFileDialog ? FWindow.SaveFileDialog(current) : QString();
    if (path.isEmpty())
        return;
    std::string failure;
    if (!FWindow.Keeper->SaveTo(path.toStdString(), failure))
        ShowSaveProblem(failure);
}

// Problems with a show command go to the strip: cues may be playing.
void TShowDocument::CreateShowFiles() {
    TShowFiles::THost host{[this](const QString& question) {
                               return !FWindow.ConfirmClose || FWindow.ConfirmClose(question);
                           },
                           [this](const std::string& text) {
                               FWindow.SetProblem(QStringLiteral("show"),
                                                  QString::fromStdString(text));
                           },
                           [this] { ShowChanged(); }};
    TMainActions& actions = *FWindow.ActionList1;
    FWindow.ShowFiles = new TShowFiles(actions, *FWindow.Keeper, *FWindow.Production,
                                       *FWindow.UndoStack, std::move(host), &FWindow);
    FWindow.FindMissingFiles = new TFindMissingFiles(
        FWindow, FWindow.Production->Cues, *FWindow.UndoStack,
        [this](const QString& text) { FWindow.SetProblem(QStringLiteral("missing"), text); },
        [this] { FWindow.RefreshGrid(); });
    connect(actions.actFindMissingFiles, &QAction::triggered, FWindow.FindMissingFiles,
            &TFindMissingFiles::Run);
    FWindow.CollectShow = new TCollectShow(
        FWindow, *FWindow.Keeper, *FWindow.Production, *FWindow.UndoStack,
        [this](const QString& text) { FWindow.SetProblem(QStringLiteral("collect"), text); },
        [this] { ShowChanged(); });
    connect(actions.actCollectShow, &QAction::triggered, FWindow.CollectShow, &TCollectShow::Run);
    ShowTitle();
}

// The title names the show file open.
void TShowDocument::ShowChanged() {
    ShowTitle();
    FWindow.SetProblem(QStringLiteral("show"), QString());
    FWindow.Levels->LoadSettings();
    FWindow.RefreshGrid();
}

void TShowDocument::ShowTitle() {
    const QString name = FWindow.ShowFiles->ShowName();
    FWindow.setWindowTitle(name.isEmpty() ? QStringLiteral("Trelmo")
                                          : QStringLiteral("%1 \u2013 Trelmo").arg(name));
}
