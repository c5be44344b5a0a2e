#include "updater_image.h"

#include "platform.h"

#include <algorithm>

namespace updater_image {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::optional<std::span<const std::byte>> findIn(std::span<const EmbeddedResource> table,
                                                 std::string_view type, std::string_view name) {
    for (const auto& entry : table)
        if (equalsIgnoringCase(entry.type, type) && equalsIgnoringCase(entry.name, name))
            return entry.bytes;
    return std::nullopt;
}

} // namespace updater_image

bool ExtractResourceFile(const std::string& resourceName, const std::string& filePath) {
    try {
        if (platform::fileExists(filePath))
            return true;
        const auto image = updater_image::findResource("data", resourceName);
        if (!image)
            return false;
        return updater_image::writeNewFile(filePath, *image);
    } catch (...) {
        return false;
    }
}
