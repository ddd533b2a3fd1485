#include "TImageList.h"

namespace {
constexpr std::array<const char*, TImageList::Count> IconFiles = {
    "00-stop",     "01-play",    "02-pause",   "03-error",   "04-help",   "05-exit",
    "06-restore",  "07-speaker", "08-stopall", "09-insert",  "10-delete", "11-openfile",
    "12-addfiles", "13-undo",    "14-redo",    "15-warning",
};
} // namespace

TImageList::TImageList() {
    for (int i = 0; i < Count; ++i)
        FIcons[static_cast<size_t>(i)] = QIcon(
            QStringLiteral(":/icons/%1.svg").arg(QLatin1String(IconFiles[static_cast<size_t>(i)])));
}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count)
        return {};
    return FIcons[static_cast<size_t>(index)];
}
