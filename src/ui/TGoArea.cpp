#include "TGoArea.h"

#include "TCueList.h"
#include "TCueSequencer.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace {

QString CueText(const TCueList& cues, TCueNumber number) {
    const TCue* cue = cues.CueOf(number);
    if (!cue)
        return {};
    return QStringLiteral("%1  %2")
        .arg(number.Number())
        .arg(QString::fromStdString(cue->Description));
}

QFont Scaled(QFont font, double factor, bool bold) {
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

void SetText(QLabel& label, const QString& text) {
    if (label.text() != text)
        label.setText(text);
}

} // namespace

TGoArea::TGoArea(QAction& go, const TCueList& cues, const TCueSequencer& waits, QWidget* parent)
    : QWidget(parent), FCues(cues), FWaits(waits), FGo(new QToolButton(this)),
      FStandby(new QLabel(this)), FNext(new QLabel(this)) {
    FGo->setObjectName(QStringLiteral("go"));
    FGo->setDefaultAction(&go);
    FGo->setFocusPolicy(Qt::NoFocus);
    FGo->setMinimumSize(110, 70);
    FGo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    TakeFonts();
    for (QLabel* label : {FStandby, FNext}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(FGo, 0, 0, 2, 1);
    layout->addWidget(FStandby, 0, 1);
    layout->addWidget(FNext, 1, 1);
    layout->setColumnStretch(1, 1);
    Refresh();
}

// The large type follows the area's font, which the window scales for the stage.
void TGoArea::TakeFonts() {
    FGo->setFont(Scaled(font(), 2.5, true));
    FStandby->setFont(Scaled(font(), 1.8, true));
    FNext->setFont(Scaled(font(), 1.1, false));
}

void TGoArea::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        TakeFonts();
}

QString TGoArea::StandbyText() const {
    return CueText(FCues, FCues.Current());
}

QString TGoArea::NextText() const {
    const TCueNumber standby = FCues.Current();
    if (!FCues.CueOf(standby))
        return {};
    const TCueNumber next = FWaits.AfterChain(standby);
    return FCues.CueOf(next) ? tr("Next: %1").arg(CueText(FCues, next)) : tr("Next: none");
}

void TGoArea::Refresh() {
    const QString standby = StandbyText();
    SetText(*FStandby, standby.isEmpty() ? tr("No standby cue") : standby);
    SetText(*FNext, NextText());
}
