#include "TStageZoom.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>

namespace {
constexpr std::array<int, 13> Steps = {50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
} // namespace

TStageZoom::TStageZoom(QWidget& window, std::function<bool()> busy)
    : QObject(&window), FBusy(std::move(busy)) {
    actLarger = CreateAction(
        window, tr("Larger Text"),
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
        &TStageZoom::Larger);
    actSmaller = CreateAction(window, tr("Smaller Text"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)},
                              &TStageZoom::Smaller);
    actNormal = CreateAction(window, tr("Normal Text Size"), {QKeySequence(Qt::CTRL | Qt::Key_0)},
                             [](int) { return NormalScale; });
}

QAction* TStageZoom::CreateAction(QWidget& window, const QString& caption,
                                  const QList<QKeySequence>& keys, std::function<int(int)> step) {
    auto* action = new QAction(caption, &window);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setAutoRepeat(false);
    connect(action, &QAction::triggered, this, [this, step = std::move(step)] {
        if (!FBusy || !FBusy())
            SetScale(step(FScale));
    });
    window.addAction(action);
    return action;
}

int TStageZoom::Larger(int percent) {
    const auto next = std::upper_bound(Steps.begin(), Steps.end(), percent);
    return next == Steps.end() ? MaxScale : *next;
}

int TStageZoom::Smaller(int percent) {
    const auto next = std::lower_bound(Steps.begin(), Steps.end(), percent);
    return next == Steps.begin() ? MinScale : *(next - 1);
}

void TStageZoom::SetScale(int percent) {
    const int scale = std::clamp(percent, MinScale, MaxScale);
    if (scale == FScale)
        return;
    FScale = scale;
    Q_EMIT ScaleChanged(FScale);
}

QFont TStageZoom::ScaledFont(const QFont& base, int percent) {
    QFont font = base;
    const double factor = percent / 100.0;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * factor);
    else if (base.pixelSize() > 0)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(base.pixelSize() * factor))));
    return font;
}

int TStageZoom::Scaled(int pixels) const {
    return static_cast<int>(std::lround(pixels * FScale / 100.0));
}

void TStageZoom::AddTo(QMenu& menu) {
    menu.addSeparator();
    menu.addActions({actLarger, actSmaller, actNormal});
}
