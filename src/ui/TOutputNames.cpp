#include "TOutputNames.h"

#include <algorithm>

namespace {
const QString Separator = QStringLiteral(" \u00b7 ");
} // namespace

void TOutputNames::SetSource(TSource source) {
    FSource = std::move(source);
    Refresh();
}

void TOutputNames::Refresh() {
    FDevices = FSource ? FSource() : std::vector<TOutputDevice>();
    Q_EMIT Changed();
}

bool TOutputNames::Present(int32_t number) const {
    return std::any_of(FDevices.begin(), FDevices.end(), [number](const TOutputDevice& device) {
        return device.Present && static_cast<int32_t>(device.Number) == number;
    });
}

QString TOutputNames::Text(int32_t number) const {
    // Without a sound server nothing is known of any output.
    if (FDevices.empty())
        return QString::number(number);
    for (const TOutputDevice& device : FDevices)
        if (device.Present && static_cast<int32_t>(device.Number) == number)
            return QString::number(number) + Separator + QString::fromStdString(device.Name);
    if (number == 1)
        return QStringLiteral("1") + Separator + QStringLiteral("not connected");
    return QString::number(number) + Separator + QStringLiteral("not connected, plays on output 1");
}

QString TOutputNames::MissingText(int32_t number) const {
    if (FDevices.empty() || Present(number))
        return {};
    return QStringLiteral("Output %1 is not connected: its cues play on output 1. Connect it, or "
                          "choose another output for those cues.")
        .arg(number);
}

std::vector<std::pair<int32_t, QString>> TOutputNames::Choices(int32_t current) const {
    std::vector<std::pair<int32_t, QString>> choices;
    for (int32_t number = 1; number <= Highest; ++number)
        if (number == current || Present(number) || FDevices.empty())
            choices.emplace_back(number, Text(number));
    return choices;
}
