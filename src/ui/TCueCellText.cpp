#include "TCueCellText.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

std::optional<int32_t> ReadTenths(QString text, int32_t most) {
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
    return static_cast<int32_t>(std::lround(std::clamp(seconds, 0.0, most / 10.0) * 10.0));
}

} // namespace

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
    return ReadTenths(std::move(text), TCue::MaxFade);
}

std::optional<int32_t> TCueCellText::ReadWait(QString text) {
    return ReadTenths(std::move(text), TCue::MaxWait);
}

QString TCueCellText::Continue(TCueContinue value, bool loop) {
    if (value == TCueContinue::None)
        return {};
    if (value == TCueContinue::AutoFollow && loop)
        return QStringLiteral("never ends");
    const QString word =
        value == TCueContinue::AutoFollow ? QStringLiteral("follow") : QStringLiteral("continue");
    return QString(QChar(0x2193)) + QLatin1Char(' ') + word;
}

QStringList TCueCellText::ContinueChoices() {
    return {QStringLiteral("none"), QStringLiteral("auto-continue"), QStringLiteral("auto-follow")};
}

std::optional<TCueContinue> TCueCellText::ReadContinue(const QString& text) {
    const QString trimmed = text.trimmed();
    const QStringList choices = ContinueChoices();
    for (qsizetype i = 0; i < choices.size(); ++i)
        if (trimmed.compare(choices[i], Qt::CaseInsensitive) == 0 || trimmed == QString::number(i))
            return static_cast<TCueContinue>(i);
    return std::nullopt;
}

QString TCueCellText::Time(double seconds) {
    const auto tenths = static_cast<int64_t>(std::floor(std::max(seconds, 0.0) * 10 + 1e-6));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}
