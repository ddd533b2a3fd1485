#include "TMessageStrip.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TMessageStrip::TMessageStrip(QWidget* parent) : QWidget(parent), FLayout(new QVBoxLayout(this)) {
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(1);
    setVisible(false);
}

void TMessageStrip::Show(const QString& kind, const QString& text, std::function<void()> retry) {
    TLine& line = LineOf(kind);
    line.Label->setText(text);
    line.OnRetry = std::move(retry);
    line.Retry->setVisible(static_cast<bool>(line.OnRetry));
    setVisible(true);
}

void TMessageStrip::Remove(const QString& kind) {
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

QPushButton* TMessageStrip::RetryButton(const QString& kind) const {
    const auto found = FLines.find(kind);
    return found == FLines.end() || !found->second.OnRetry ? nullptr : found->second.Retry;
}

QPushButton* TMessageStrip::CloseButton(const QString& kind) const {
    const auto found = FLines.find(kind);
    return found == FLines.end() ? nullptr : found->second.Close;
}

// A line: the warning sign, the whole reason (wrapped, selectable with the mouse), Retry, close.
TMessageStrip::TLine& TMessageStrip::LineOf(const QString& kind) {
    if (const auto found = FLines.find(kind); found != FLines.end())
        return found->second;
    TLine& line = FLines[kind];
    line.Frame = new QFrame(this);
    line.Frame->setFrameShape(QFrame::StyledPanel);
    line.Frame->setAutoFillBackground(true);
    line.Frame->setBackgroundRole(QPalette::ToolTipBase);
    line.Frame->setForegroundRole(QPalette::ToolTipText);
    auto* row = new QHBoxLayout(line.Frame);
    auto* icon = new QLabel(line.Frame);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    row->addWidget(icon, 0, Qt::AlignTop);
    line.Label = new QLabel(line.Frame);
    line.Label->setTextFormat(Qt::PlainText);
    line.Label->setWordWrap(true);
    line.Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(line.Label, 1);
    line.Retry = AddButton(line, tr("Retry"));
    connect(line.Retry, &QPushButton::clicked, this, [this, kind] {
        if (const auto found = FLines.find(kind); found != FLines.end() && found->second.OnRetry)
            found->second.OnRetry();
    });
    line.Close = AddButton(line, tr("Close"));
    connect(line.Close, &QPushButton::clicked, this, [this, kind] { Remove(kind); });
    FLayout->addWidget(line.Frame);
    return line;
}

QPushButton* TMessageStrip::AddButton(TLine& line, const QString& text) {
    auto* button = new QPushButton(text, line.Frame);
    button->setFocusPolicy(Qt::NoFocus);
    static_cast<QHBoxLayout*>(line.Frame->layout())->addWidget(button, 0, Qt::AlignTop);
    return button;
}
