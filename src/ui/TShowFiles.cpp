#include "TShowFiles.h"

#include "TCueCommands.h"
#include "TMainActions.h"
#include "TProduction.h"
#include "TShowKeeper.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include <filesystem>

namespace {

const QString ShowFilter =
    QStringLiteral("Trelmo Shows (*%1)").arg(QLatin1String(TShowFiles::Suffix));

int32_t PlayingCues(const TCueList& cues) {
    int32_t playing = 0;
    for (int32_t i = 0; i < cues.Count(); ++i)
        playing += cues.Items(i)->State() != csStopped ? 1 : 0;
    return playing;
}

} // namespace

TShowFiles::TShowFiles(TMainActions& actions, TShowKeeper& keeper, TProduction& production,
                       TCueUndoStack& history, THost host, QObject* parent)
    : QObject(parent), FActions(actions), FKeeper(keeper), FProduction(production),
      FHistory(history), FHost(std::move(host)) {
    ChooseShowToOpen = [](const QString& folder) {
        return QFileDialog::getOpenFileName(nullptr, QStringLiteral("Open Show"), folder,
                                            ShowFilter);
    };
    ChooseShowToSave = [](const QString& suggested) {
        return QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save Show As"), suggested,
                                            ShowFilter);
    };
    connect(actions.actNewShow, &QAction::triggered, this, &TShowFiles::NewShow);
    connect(actions.actOpenShow, &QAction::triggered, this, &TShowFiles::OpenShow);
    connect(actions.actSaveShowAs, &QAction::triggered, this, &TShowFiles::SaveShowAs);
    connect(actions.RecentShowsMenu, &QMenu::aboutToShow, this, &TShowFiles::FillRecentMenu);
    FillRecentMenu();
}

bool TShowFiles::IsShowFileArgument(const std::vector<std::string>& arguments) {
    std::error_code ec;
    return arguments.size() == 1 && arguments[0].ends_with(Suffix) &&
           std::filesystem::is_regular_file(arguments[0], ec);
}

void TShowFiles::NewShow() {
    if (!MayLeaveShow())
        return;
    FKeeper.NewShow();
    Left();
}

void TShowFiles::OpenShow() {
    const QString path = ChooseShowToOpen ? ChooseShowToOpen(Folder()) : QString();
    if (!path.isEmpty())
        Open(path);
}

void TShowFiles::Open(const QString& path) {
    if (!MayLeaveShow())
        return;
    std::string failure;
    if (!FKeeper.OpenShow(QDir::cleanPath(QFileInfo(path).absoluteFilePath()).toStdString(),
                          failure)) {
        FHost.Tell(failure);
        return;
    }
    Left();
}

void TShowFiles::SaveShowAs() {
    const std::string& open = FProduction.Shows.Open;
    const QString suggested =
        open.empty() ? QDir(Folder()).filePath(QStringLiteral("Show%1").arg(QLatin1String(Suffix)))
                     : QString::fromStdString(open);
    QString path = ChooseShowToSave ? ChooseShowToSave(suggested) : QString();
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(Suffix)))
        path += QLatin1String(Suffix);
    std::string failure;
    if (!FKeeper.SaveShowAs(path.toStdString(), failure)) {
        FHost.Tell(failure);
        return;
    }
    Left();
}

QString TShowFiles::ShowName() const {
    const std::string& open = FProduction.Shows.Open;
    return open.empty() ? QString() : QFileInfo(QString::fromStdString(open)).fileName();
}

// Cues that play are stopped on yes; cues in no show file are gone after the change.
bool TShowFiles::MayLeaveShow() {
    TCueList& cues = FProduction.Cues;
    const int32_t playing = PlayingCues(cues);
    if (playing > 0 &&
        !FHost.Ask(playing == 1
                       ? QStringLiteral("1 cue of this show is playing. Stop it and leave the "
                                        "show?")
                       : QStringLiteral("%1 cues of this show are playing. Stop them and leave "
                                        "the show?")
                             .arg(playing)))
        return false;
    const QString unfiled =
        cues.Count() == 1
            ? QStringLiteral("The cue of this show is in no show file and is lost")
            : QStringLiteral("The %1 cues of this show are in no show file and are lost")
                  .arg(cues.Count());
    if (FProduction.Shows.Open.empty() && cues.Count() > 0 &&
        !FHost.Ask(unfiled + QStringLiteral(" when you leave it. Leave it anyway?\n\nTo keep "
                                            "them, choose No and then Save Show As.")))
        return false;
    cues.StopAll();
    // The undo history refers to the cues that go; it goes first.
    FHistory.clear();
    return true;
}

void TShowFiles::Left() {
    FillRecentMenu();
    FHost.ShowChanged();
}

void TShowFiles::FillRecentMenu() {
    QMenu* menu = FActions.RecentShowsMenu;
    // Later: this may run while one of these actions is being triggered.
    for (QAction* old : menu->actions()) {
        menu->removeAction(old);
        old->deleteLater();
    }
    for (const std::string& show : FProduction.Shows.Recent) {
        const QString path = QString::fromStdString(show);
        QAction* action = menu->addAction(QFileInfo(path).fileName());
        action->setToolTip(path);
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { Open(path); });
    }
    menu->setEnabled(!FProduction.Shows.Recent.empty());
}

// Where the dialogs start: the open show's folder, else the user's home.
QString TShowFiles::Folder() const {
    const std::string& open = FProduction.Shows.Open;
    return open.empty() ? QDir::homePath() : QFileInfo(QString::fromStdString(open)).absolutePath();
}
