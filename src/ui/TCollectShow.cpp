#include "TCollectShow.h"

#include "TCueRelinkCommand.h"
#include "TProduction.h"
#include "TShowFiles.h"
#include "TShowKeeper.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

#include <filesystem>

namespace {

constexpr int PollMs = 100;

} // namespace

TCollectShow::TCollectShow(QWidget& window, TShowKeeper& keeper, TProduction& production,
                           TCueUndoStack& history, std::function<void(const QString& text)> tell,
                           std::function<void()> changed)
    : QObject(&window), FWindow(window), FKeeper(keeper), FProduction(production),
      FHistory(history), FTell(std::move(tell)), FChanged(std::move(changed)) {
    ChooseShowToSave = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(
            &FWindow, QStringLiteral("Save Show As with Media"), suggested,
            QStringLiteral("Trelmo Shows (*%1)").arg(QLatin1String(TShowFiles::Suffix)));
    };
    FPoll = new QTimer(this);
    FPoll->setInterval(PollMs);
    connect(FPoll, &QTimer::timeout, this, &TCollectShow::Poll);
}

TCollectShow::~TCollectShow() = default;

void TCollectShow::Run() {
    if (Copying())
        return;
    QString path = ChooseShowToSave ? ChooseShowToSave(QDir::homePath()) : QString();
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(TShowFiles::Suffix)))
        path += QLatin1String(TShowFiles::Suffix);
    Start(QDir::cleanPath(QFileInfo(path).absoluteFilePath()).toStdString());
}

// Files that are missing are left where they were named.
void TCollectShow::Start(const std::string& path) {
    FPath = path;
    FShowAtStart = FProduction.Shows.Open;
    std::vector<std::string> files;
    const TCueList& cues = FProduction.Cues;
    for (int32_t i = 0; i < cues.Count(); ++i)
        if (cues.Items(i)->FileFound())
            files.push_back(cues.Items(i)->FileName);
    const std::filesystem::path media = std::filesystem::path(path).parent_path() / "media";
    FCopies = TShowCollector::Plan(files, media.string());
    FCollector = std::make_unique<TShowCollector>(Copier);
    FCollector->Start(FCopies);
    FProgress = new QProgressDialog(QStringLiteral("Copying the show's audio files\u2026"),
                                    QStringLiteral("Cancel"), 0, static_cast<int>(FCopies.size()),
                                    &FWindow);
    FProgress->setObjectName(QStringLiteral("CollectShowProgress"));
    FProgress->setWindowTitle(QStringLiteral("Save Show As with Media"));
    // Cues may be playing: the window keeps its keys.
    FProgress->setWindowModality(Qt::NonModal);
    FProgress->setAttribute(Qt::WA_ShowWithoutActivating);
    FProgress->setAttribute(Qt::WA_DeleteOnClose);
    FProgress->setMinimumDuration(0);
    connect(FProgress, &QProgressDialog::canceled, this, &TCollectShow::Cancel);
    FProgress->show();
    FPoll->start();
}

void TCollectShow::Poll() {
    if (!FCollector)
        return;
    if (FCollector->Done()) {
        Finish();
        return;
    }
    if (FProgress)
        FProgress->setValue(static_cast<int>(FCollector->Copied()));
}

// Waits for the copy under way, which then removes what it made.
void TCollectShow::Cancel() {
    if (FCollector)
        FCollector->Cancel();
}

void TCollectShow::Finish() {
    FPoll->stop();
    CloseProgress();
    const std::unique_ptr<TShowCollector> collector = std::move(FCollector);
    const QString path = QString::fromStdString(FPath);
    const std::string failed = collector->Ok() ? std::string() : collector->Failure();
    if (!failed.empty() || FProduction.Shows.Open != FShowAtStart) {
        FTell(QStringLiteral("The show was not saved as %1: %2. The show, its file and its cues "
                             "are as they were.")
                  .arg(path, failed.empty() ? QStringLiteral("another show was opened meanwhile")
                                            : QString::fromStdString(failed)));
        return;
    }
    std::vector<TCueRelinkCommand::TLink> links;
    const TCueList& cues = FProduction.Cues;
    for (const TShowCollector::TCopy& copy : FCopies)
        for (int32_t i = 0; i < cues.Count(); ++i)
            if (cues.Items(i)->FileName == copy.From)
                links.push_back({cues.Items(i)->Identity(), copy.From, copy.To});
    // The show file is written with the copies' names; a save that cannot be made puts the
    // names back.
    const auto relink = [&](bool toCopies) {
        for (const TCueRelinkCommand::TLink& link : links)
            FProduction.Cues.CueOf(FProduction.Cues.IndexOfIdentity(link.Identity))->FileName =
                toCopies ? link.After : link.Before;
    };
    relink(true);
    std::string failure;
    if (!FKeeper.SaveShowAs(FPath, failure)) {
        relink(false);
        FTell(QString::fromStdString(failure));
        return;
    }
    if (!links.empty())
        FHistory.Push(std::make_unique<TCueRelinkCommand>(
            FProduction.Cues, std::move(links), QStringLiteral("Save Show As with Media")));
    FChanged();
    const QString files = FCopies.size() == 1
                              ? QStringLiteral("1 audio file")
                              : QStringLiteral("%1 audio files").arg(FCopies.size());
    FTell(QStringLiteral("The show and %1 were saved in %2.")
              .arg(files, QFileInfo(path).absolutePath()));
}

void TCollectShow::CloseProgress() {
    if (!FProgress)
        return;
    FProgress->disconnect(this);
    FProgress->close();
    FProgress = nullptr;
}
