#include "TRunningPanel.h"

#include "TCueGridModel.h"
#include "TCueLengths.h"
#include "TGoArea.h"
#include "TPlaybackRefresh.h"
#include "TRunningLine.h"
#include "TShowControl.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

TRunningPanel::TRunningPanel(TShowControl& show, QAction& go, TCueGridModel& grid,
                             TPlaybackRefresh& refresh, QWidget* parent)
    : QWidget(parent), FShow(show), FGrid(grid), FRefresh(refresh),
      FGoArea(new TGoArea(go, show.Running().Cues(), show.Sequencer(), this)),
      FFadeTime(new QDoubleSpinBox(this)), FToggle(new QAction(tr("Running Cues"), this)) {
    FToggle->setCheckable(true);
    FToggle->setToolTip(tr("Show or hide GO and the running cues beside the grid"));
    connect(FToggle, &QAction::toggled, this, [this](bool checked) {
        setVisible(checked);
        if (checked)
            ShowWhole();
    });
    FFadeTime->setObjectName(QStringLiteral("fadeTime"));
    FFadeTime->setRange(0.1, TCue::MaxFade / 10.0);
    FFadeTime->setDecimals(1);
    FFadeTime->setSingleStep(0.5);
    FFadeTime->setSuffix(QStringLiteral(" s"));
    FFadeTime->setValue(DefaultFadeSeconds);
    // Changed with its arrows or the wheel: typing would take the keys from the grid.
    FFadeTime->setFocusPolicy(Qt::NoFocus);
    FFadeTime->setToolTip(tr("How long the Fade buttons take to fade a cue out"));
    auto* fadeRow = new QHBoxLayout;
    fadeRow->addWidget(new QLabel(tr("Fade out over"), this));
    fadeRow->addWidget(FFadeTime);
    fadeRow->addStretch(1);

    auto* lines = new QWidget;
    FLinesLayout = new QVBoxLayout(lines);
    FLinesLayout->setContentsMargins(0, 0, 0, 0);
    FLinesLayout->setSpacing(4);
    auto* empty = new QLabel(tr("No cue is running."), lines);
    empty->setAlignment(Qt::AlignCenter);
    empty->setForegroundRole(QPalette::PlaceholderText);
    FEmpty = empty;
    FLinesLayout->addWidget(FEmpty);
    FLinesLayout->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(lines);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->addWidget(FGoArea);
    layout->addLayout(fadeRow);
    layout->addWidget(scroll, 1);

    connect(&show.Running(), &TRunningCues::Changed, this, &TRunningPanel::FollowRunning);
    connect(&show, &TShowControl::StandbyChanged, FGoArea, &TGoArea::Refresh);
    connect(&refresh, &TPlaybackRefresh::Ticked, this, &TRunningPanel::ShowLines);
    connect(&grid, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                ModelChanged(from.column(), to.column());
            });
    connect(&grid, &QAbstractItemModel::rowsInserted, this, [this] { ModelChanged(0, -1); });
    connect(&grid, &QAbstractItemModel::rowsRemoved, this, [this] { ModelChanged(0, -1); });
    FollowRunning();
}

void TRunningPanel::ShowWhole() {
    auto* splitter = qobject_cast<QSplitter*>(parentWidget());
    if (!splitter || splitter->count() != 2 || splitter->widget(1) != this)
        return;
    const int panel = std::max(width(), sizeHint().width());
    splitter->setSizes({std::max(splitter->width() - panel, 0), panel});
}

QSize TRunningPanel::sizeHint() const {
    return {420, QWidget::sizeHint().height()};
}

QSize TRunningPanel::minimumSizeHint() const {
    return {340, QWidget::minimumSizeHint().height()};
}

TRunningLine* TRunningPanel::LineOf(quint64 identity) const {
    const auto found = std::find_if(FLines.begin(), FLines.end(), [&](const TRunningLine* line) {
        return line->Identity() == identity;
    });
    return found == FLines.end() ? nullptr : *found;
}

TRunningLine* TRunningPanel::MakeLine(quint64 identity) {
    const TCueList& cues = FShow.Running().Cues();
    const TCue* cue = cues.CueOf(cues.IndexOfIdentity(identity));
    auto* line = new TRunningLine(identity, cue ? cue->VolumeDB() : 0, FEmpty->parentWidget());
    connect(line, &TRunningLine::PauseClicked, this,
            [this](quint64 id) { FShow.PauseOrResume(id); });
    connect(line, &TRunningLine::StopClicked, this, [this](quint64 id) { FShow.StopRunning(id); });
    connect(line, &TRunningLine::FadeClicked, this, [this](quint64 id) {
        FShow.FadeOutRunning(id, static_cast<int32_t>(std::lround(FFadeTime->value() * 10)));
    });
    connect(line, &TRunningLine::LiveLevelChanged, this, &TRunningPanel::LiveLevelChanged);
    connect(line, &TRunningLine::KeepLevelRequested, this, &TRunningPanel::KeepLevelRequested);
    return line;
}

// Lines of cues that left go, new ones are made, and all stand in the running list's order.
void TRunningPanel::FollowRunning() {
    const std::vector<TRunningCue>& running = FShow.Running().Entries();
    std::vector<TRunningLine*> lines;
    for (const TRunningCue& entry : running) {
        TRunningLine* line = LineOf(entry.Identity);
        lines.push_back(line ? line : MakeLine(entry.Identity));
    }
    // Later: the line may be the one whose button is being handled.
    for (TRunningLine* line : FLines)
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) {
            FLinesLayout->removeWidget(line);
            line->hide();
            line->deleteLater();
        }
    FLines = std::move(lines);
    for (size_t i = 0; i < FLines.size(); ++i) {
        FLinesLayout->removeWidget(FLines[i]);
        FLinesLayout->insertWidget(static_cast<int>(i), FLines[i]);
        FLines[i]->show();
    }
    FEmpty->setVisible(FLines.empty());
    FRefresh.Wake();
    ShowLines();
    FGoArea->Refresh();
}

void TRunningPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ShowLines();
    FGoArea->Refresh();
}

// A hidden panel, and a line scrolled out of sight, draws nothing and reads nothing; they catch
// up on the next tick once in sight.
void TRunningPanel::ShowLines() {
    if (!isVisible())
        return;
    const TCueList& cues = FShow.Running().Cues();
    const QRect inSight = FEmpty->parentWidget()->visibleRegion().boundingRect();
    for (const TRunningCue& entry : FShow.Running().Entries()) {
        TRunningLine* line = LineOf(entry.Identity);
        const TCueNumber number = cues.IndexOfIdentity(entry.Identity);
        const TCue* cue = cues.CueOf(number);
        if (!line || !cue || !line->geometry().intersects(inSight))
            continue;
        const auto [left, right] = FRefresh.Levels(cue->Stream());
        line->Show(TRunningLineData::Of(*cue, number, entry.State, FShow.Sequencer(),
                                        FGrid.Lengths().Length(cue->FileName), FGrid.Outputs()),
                   left, right);
    }
}

// The Time column changes on every tick, and ShowLines follows it then; other edits change
// what the lines and the GO area say.
void TRunningPanel::ModelChanged(int firstColumn, int lastColumn) {
    if ((firstColumn == ccTime && lastColumn == ccTime) || !isVisible())
        return;
    ShowLines();
    FGoArea->Refresh();
}
