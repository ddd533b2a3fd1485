#include "TRunningLine.h"

#include "TRunningLineFace.h"
#include "TStereoMeter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int LowestDB = -60;

bool Sounding(TRunningState state) {
    return state != TRunningState::Waiting && state != TRunningState::WaitPaused;
}

} // namespace

TRunningLine::TRunningLine(quint64 identity, int32_t volumeDB, QWidget* parent)
    : QFrame(parent), FIdentity(identity), FFace(new TRunningLineFace(this)),
      FMeter(new TStereoMeter(this)), FLevel(new QSlider(Qt::Horizontal, this)),
      FLevelText(new QLabel(this)) {
    setFrameShape(QFrame::StyledPanel);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    FPause = Button(QStringLiteral("pause"), tr("Pause"), tr("Pause or resume this cue"),
                    &TRunningLine::PauseClicked);
    QToolButton* stop =
        Button(QStringLiteral("stop"), tr("Stop"), tr("Stop this cue, with its own fade-out"),
               &TRunningLine::StopClicked);
    QToolButton* fade =
        Button(QStringLiteral("fade"), tr("Fade"),
               tr("Fade this cue out over the panel's fade time"), &TRunningLine::FadeClicked);
    FKeep = Button(QStringLiteral("keep"), tr("Keep"), tr("Make this level the cue's level"),
                   &TRunningLine::KeepLevelRequested);
    FLevel->setObjectName(QStringLiteral("level"));
    FLevel->setRange(LowestDB, 0);
    FLevel->setValue(volumeDB);
    FLevel->setFocusPolicy(Qt::NoFocus);
    FLevel->setToolTip(tr("The level of this playback only, in dB"));
    FLevel->setMinimumWidth(50);
    ShowLevel(volumeDB);
    connect(FLevel, &QSlider::valueChanged, this, [this](int db) {
        ShowLevel(db);
        Q_EMIT LiveLevelChanged(FIdentity, db);
    });
    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : {FPause, stop, fade})
        controls->addWidget(widget);
    controls->addSpacing(8);
    controls->addWidget(FLevel, 1);
    controls->addWidget(FLevelText);
    controls->addWidget(FKeep);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    layout->addWidget(FFace);
    layout->addWidget(FMeter);
    layout->addLayout(controls);
}

QToolButton* TRunningLine::Button(const QString& name, const QString& text, const QString& tip,
                                  void (TRunningLine::*clicked)(quint64)) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, [this, clicked] {
        Q_EMIT(this->*clicked)(FIdentity);
    });
    return button;
}

void TRunningLine::ShowLevel(int db) {
    FLevelText->setText(QStringLiteral("%1 dB").arg(db));
}

const TRunningLineData& TRunningLine::Shown() const {
    return FFace->Shown();
}

void TRunningLine::Show(const TRunningLineData& shown, double left, double right) {
    const bool paused =
        shown.State == TRunningState::Paused || shown.State == TRunningState::WaitPaused;
    const QString pauseText = paused ? tr("Resume") : tr("Pause");
    if (FPause->text() != pauseText)
        FPause->setText(pauseText);
    const bool sounding = Sounding(shown.State);
    if (FLevel->isEnabled() != sounding) {
        FLevel->setEnabled(sounding);
        FKeep->setEnabled(sounding);
    }
    FFace->Show(shown);
    FMeter->SetLevels(left, right);
}
