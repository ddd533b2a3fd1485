#include "TFindMissingFiles.h"

#include "TCueRelinkCommand.h"
#include "TMissingFiles.h"

#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>
#include <QTimer>

namespace {

constexpr int PollMs = 100;

} // namespace

TFindMissingFiles::TFindMissingFiles(QWidget& window, TCueList& cues, TCueUndoStack& history,
                                     std::function<void(const QString& text)> tell,
                                     std::function<void()> changed)
    : QObject(&window), FWindow(window), FCues(cues), FHistory(history), FTell(std::move(tell)),
      FChanged(std::move(changed)) {
    ChooseFolder = [this] {
        return QFileDialog::getExistingDirectory(&FWindow, QStringLiteral("Find Missing Files In"),
                                                 QDir::homePath());
    };
    FPoll = new QTimer(this);
    FPoll->setInterval(PollMs);
    connect(FPoll, &QTimer::timeout, this, &TFindMissingFiles::ShowProgress);
}

TFindMissingFiles::~TFindMissingFiles() = default;

void TFindMissingFiles::Run() {
    if (Searching())
        return;
    if (TMissingFiles::NamesOf(FCues).empty()) {
        FTell(QStringLiteral("No cue's audio file is missing."));
        return;
    }
    const QString folder = ChooseFolder ? ChooseFolder() : QString();
    if (!folder.isEmpty())
        Start(folder);
}

void TFindMissingFiles::Start(const QString& folder) {
    FSearch = std::make_unique<TFileSearch>();
    FSearch->Start(folder.toStdString(), TMissingFiles::NamesOf(FCues), {});
    FProgress = new QProgressDialog(QStringLiteral("Searching %1\u2026").arg(folder),
                                    QStringLiteral("Cancel"), 0, 0, &FWindow);
    FProgress->setObjectName(QStringLiteral("FindMissingFilesProgress"));
    FProgress->setWindowTitle(QStringLiteral("Find Missing Files"));
    // Cues may be playing: the window keeps its keys.
    FProgress->setWindowModality(Qt::NonModal);
    FProgress->setAttribute(Qt::WA_ShowWithoutActivating);
    FProgress->setAttribute(Qt::WA_DeleteOnClose);
    FProgress->setMinimumDuration(0);
    connect(FProgress, &QProgressDialog::canceled, this, &TFindMissingFiles::Cancel);
    FProgress->show();
    FPoll->start();
}

void TFindMissingFiles::ShowProgress() {
    if (!FSearch)
        return;
    if (FSearch->Done()) {
        Finish();
        return;
    }
    if (FProgress)
        FProgress->setLabelText(
            QStringLiteral("%1 folders searched\u2026").arg(FSearch->FoldersSearched()));
}

void TFindMissingFiles::Cancel() {
    if (!FSearch)
        return;
    FPoll->stop();
    FSearch.reset();
    if (FProgress) {
        FProgress->disconnect(this);
        FProgress->close();
        FProgress = nullptr;
    }
    FTell(QStringLiteral("Find Missing Files was cancelled; no cue was changed."));
}

// The cues are looked at now: the list may have changed during the search.
void TFindMissingFiles::Finish() {
    FPoll->stop();
    const std::unique_ptr<TFileSearch> search = std::move(FSearch);
    if (FProgress) {
        FProgress->disconnect(this);
        FProgress->close();
        FProgress = nullptr;
    }
    const TMissingFiles plan = TMissingFiles::Plan(FCues, search->Result());
    std::vector<TCueRelinkCommand::TLink> links;
    for (const TMissingFiles::TRelink& relink : plan.Relinks) {
        const TCue* cue = FCues.CueOf(FCues.IndexOfIdentity(relink.Identity));
        links.push_back({relink.Identity, cue->FileName, relink.FileName});
    }
    if (!links.empty()) {
        FHistory.Push(std::make_unique<TCueRelinkCommand>(FCues, std::move(links),
                                                          QStringLiteral("Find Missing Files")));
        FChanged();
    }
    FTell(QString::fromStdString(plan.Message(search->Result())));
}
