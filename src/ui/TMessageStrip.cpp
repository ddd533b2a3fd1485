#include "TMessageStrip.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <iostream>

TMessageStrip::TMessageStrip(QWidget* parent) : QWidget(parent), FLayout(new QVBoxLayout(this)) {
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(1);
    setVisible(false);
}

// The buttons are made anew, so that each runs what this call gave it.
void TMessageStrip::Show(const QString& kind, const QString& text,
                         const std::vector<TAction>& actions) {
    const QString plain = QString(text).remove(u'\r');
    if (plain != Text(kind))
        std::cerr << "Trelmo: " << plain.toStdString() << std::endl;
    TLine& line = LineOf(kind);
    line.Label->setText(plain);
    for (QPushButton* button : line.Buttons)
        button->deleteLater();
    line.Buttons.clear();
    for (const TAction& action : actions)
        line.Buttons.push_back(AddButton(line, action.Label, action.Run));
    line.Buttons.push_back(AddButton(line, tr("Close"), [this, kind] { Dismiss(kind); }));
    setVisible(true);
}

void TMessageStrip::Remove(const QString& kind) {
    if (const QString shown = Text(kind); !shown.isEmpty())
        std::cerr << "Trelmo: solved: " << shown.section(u'\n', 0, 0).toStdString() << std::endl;
    Dismiss(kind);
}

void TMessageStrip::Dismiss(const QString& kind) {
    const auto found = FLines.find(kind);
    if (found == FLines.end())
        return;
    // Later: the line's own close button may be what removes it.
    found->second.Frame->hide();
    found->second.Frame->deleteLater();
    FLines.erase(found);
    setVisible(!FLines.empty());
}

QString TMessageStrip::Text(const QString& kind) const {
    const auto found = FLines.find(kind);
    return found == FLines.end() ? QString() : found->second.Label->text();
}

QPushButton* TMessageStrip::Button(const QString& kind, const QString& label) const {
    const auto found = FLines.find(kind);
    if (found == FLines.end())
        return nullptr;
    for (QPushButton* button : found->second.Buttons)
        if (button->text() == label)
            return button;
    return nullptr;
}

// A line: the warning sign, then the whole reason (wrapped, selectable with the mouse).
TMessageStrip::TLine& TMessageStrip::LineOf(const QString& kind) {
    if (const auto found = FLines.find(kind); found != FLines.end())
        return found->second;
    TLine& line = FLines[kind];
    line.Frame = new QFrame(this);
    line.Frame->setFrameShape(QFrame::StyledPanel);
    line.Frame->setAutoFillBackground(true);
    line.Frame->setBackgroundRole(QPalette::ToolTipBase);
    line.Frame->setForegroundRole(QPalette::ToolTipText);
    line.Row = new QHBoxLayout(line.Frame);
    auto* icon = new QLabel(line.Frame);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    line.Row->addWidget(icon, 0, Qt::AlignTop);
    line.Label = new QLabel(line.Frame);
    line.Label->setTextFormat(Qt::PlainText);
    line.Label->setWordWrap(true);
    line.Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    line.Row->addWidget(line.Label, 1);
    FLayout->addWidget(line.Frame);
    return line;
}

QPushButton* TMessageStrip::AddButton(TLine& line, const QString& label,
                                      std::function<void()> run) {
    auto* button = new QPushButton(label, line.Frame);
    button->setFocusPolicy(Qt::NoFocus);
    line.Row->addWidget(button, 0, Qt::AlignTop);
    connect(button, &QPushButton::clicked, this, std::move(run));
    return button;
}
