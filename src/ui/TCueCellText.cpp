#include "TCueCellText.h"

#include "TCue.h"

#include <algorithm>
#include <cmath>

std::optional<int32_t> TCueCellText::ReadInteger(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String("-"))
        return 0;
    bool ok = false;
    const int32_t value = trimmed.toInt(&ok, 10);
    return ok ? std::optional<int32_t>(value) : std::nullopt;
}

std::optional<int32_t> TCueCellText::ReadVolume(QString text) {
    text.remove(QStringLiteral("dB"));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String("-"))
        return std::nullopt;
    return ReadInteger(trimmed);
}

QString TCueCellText::Fade(int32_t tenths) {
    return tenths == 0 ? QString() : QString::number(tenths / 10.0, 'f', 1) + QStringLiteral(" s");
}

std::optional<int32_t> TCueCellText::ReadFade(QString text) {
    text = text.trimmed();
    if (text.endsWith(QLatin1Char('s')))
        text.chop(1);
    text = text.trimmed();
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds))
        return std::nullopt;
    return static_cast<int32_t>(std::lround(std::clamp(seconds, 0.0, TCue::MaxFade / 10.0) * 10.0));
}

QString TCueCellText::Time(double seconds) {
    const auto tenths = static_cast<int64_t>(std::floor(std::max(seconds, 0.0) * 10 + 1e-6));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}
