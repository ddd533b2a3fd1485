#include "TLevelControls.h"

#include "TCueCommands.h"
#include "TMainActionsHost.h"
#include "TShowControl.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>

namespace {
constexpr int SliderWidth = 120;
} // namespace

TLevelControls::TLevelControls(TMainActionsHost& host, std::function<TPlaybackSettings*()> settings,
                               std::function<void()> changed, QWidget& window)
    : QObject(&window), FHost(host), FSettings(std::move(settings)), FChanged(std::move(changed)) {
    FMaster = new QWidget(&window);
    FMaster->setObjectName(QStringLiteral("MasterLevel"));
    auto* layout = new QHBoxLayout(FMaster);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Master"), FMaster));
    FSlider = new QSlider(Qt::Horizontal, FMaster);
    FSlider->setRange(TLevels::Silent, TLevels::Full);
    FSlider->setPageStep(6);
    FSlider->setFixedWidth(SliderWidth);
    FSlider->setFocusPolicy(Qt::NoFocus);
    FSlider->setToolTip(tr("The level of every cue"));
    layout->addWidget(FSlider);
    FFigure = new QLabel(FMaster);
    layout->addWidget(FFigure);
    connect(FSlider, &QSlider::valueChanged, this, &TLevelControls::MasterMoved);
    actTrueDecibels = new QAction(tr("Volume in True Decibels"), this);
    actTrueDecibels->setCheckable(true);
    actTrueDecibels->setToolTip(tr("Checked: a cue's volume is in decibels (-20 is a tenth of "
                                   "the level). Unchecked: the volume is linear in the number."));
    connect(actTrueDecibels, &QAction::toggled, this, &TLevelControls::TrueDecibelsToggled);
    ShowMaster(TLevels::Full);
}

void TLevelControls::AddTo(QMenu& menu) {
    menu.addSeparator();
    menu.addAction(actTrueDecibels);
}

void TLevelControls::LoadSettings() {
    const TPlaybackSettings* settings = FSettings();
    if (!settings)
        return;
    FHost.Show().SetPanicTime(settings->PanicFade);
    FHost.Show().SetLevels(settings->Levels);
    const QSignalBlocker blockSlider(FSlider);
    const QSignalBlocker blockAction(actTrueDecibels);
    FSlider->setValue(settings->Levels.MasterDB);
    actTrueDecibels->setChecked(settings->Levels.Scale == TVolumeScale::Decibels);
    ShowMaster(settings->Levels.MasterDB);
}

void TLevelControls::MasterMoved(int db) {
    TLevels levels = FHost.Show().Levels();
    levels.MasterDB = db;
    ApplyLevels(levels);
    ShowMaster(db);
}

void TLevelControls::TrueDecibelsToggled(bool on) {
    TLevels levels = FHost.Show().Levels();
    levels.Scale = on ? TVolumeScale::Decibels : TVolumeScale::Linear;
    ApplyLevels(levels);
}

void TLevelControls::ApplyLevels(const TLevels& levels) {
    FHost.Show().SetLevels(levels);
    if (TPlaybackSettings* settings = FSettings()) {
        settings->Levels = FHost.Show().Levels();
        if (FChanged)
            FChanged();
    }
}

void TLevelControls::ShowMaster(int32_t db) {
    FFigure->setText(tr("%1 dB").arg(db));
}

TCue* TLevelControls::CueOf(quint64 identity) const {
    const TCueList& cues = FHost.Cues();
    return cues.CueOf(cues.IndexOfIdentity(identity));
}

void TLevelControls::SetLiveLevel(quint64 identity, int db) {
    if (TCue* cue = CueOf(identity))
        FHost.Show().SetLiveLevel(*cue, db);
}

void TLevelControls::KeepLevel(quint64 identity) {
    TCue* cue = CueOf(identity);
    if (!cue)
        return;
    const int32_t before = cue->VolumeDB();
    cue->SetVolumeDB(FHost.Show().LiveLevel(*cue));
    if (cue->VolumeDB() == before)
        return;
    FHost.History().Push(std::make_unique<TCueLevelCommand>(FHost.Cues(), *cue, before));
    FHost.RefreshGrid();
}
