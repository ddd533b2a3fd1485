#include "OscBundle.h"

#include <cstdint>

namespace {

// "#bundle", its terminating zero and the 8-byte time tag.
constexpr size_t BundleHeaderSize = 16;
constexpr std::string_view BundleTag{"#bundle\0", 8};

uint32_t BigEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | uint32_t{b[3]};
}

bool Collect(std::string_view bundle, int depth, std::vector<std::string_view>& messages) {
    if (depth > MaxOscBundleDepth || bundle.size() < BundleHeaderSize || bundle.size() % 4 != 0 ||
        !IsOscBundle(bundle))
        return false;
    for (size_t at = BundleHeaderSize; at < bundle.size();) {
        if (bundle.size() - at < 4)
            return false;
        const uint32_t size = BigEndian32(bundle.data() + at);
        at += 4;
        if (size == 0 || size % 4 != 0 || size > bundle.size() - at)
            return false;
        const std::string_view element = bundle.substr(at, size);
        if (IsOscBundle(element)) {
            if (!Collect(element, depth + 1, messages))
                return false;
        } else {
            messages.push_back(element);
        }
        at += size;
    }
    return true;
}

} // namespace

bool IsOscBundle(std::string_view datagram) {
    return datagram.starts_with(BundleTag);
}

std::optional<std::vector<std::string_view>> OscBundleMessages(std::string_view bundle) {
    std::vector<std::string_view> messages;
    if (!Collect(bundle, 1, messages) || messages.empty())
        return std::nullopt;
    return messages;
}
