#pragma once
// The updater's file image, carried inside the dictionary program as the
// resource named "update" of type "data", and writing it out.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Writes the resource of type "data" named `resourceName` to `filePath`
// unless a regular file is already there; an existing file is never opened
// or replaced, whatever it holds. Returns false on any failure, and then
// leaves nothing behind at `filePath`.
bool ExtractResourceFile(const std::string& resourceName, const std::string& filePath);

namespace updater_image {

struct EmbeddedResource {
    std::string_view type;
    std::string_view name;
    std::span<const std::byte> bytes;
};

// The entry of `table` whose type and name match, without regard to ASCII
// case.
std::optional<std::span<const std::byte>> findIn(std::span<const EmbeddedResource> table,
                                                 std::string_view type, std::string_view name);

// The resource of the running program (platform part).
std::optional<std::span<const std::byte>> findResource(std::string_view type,
                                                       std::string_view name);

// Creates `path` with `bytes` as its content; executable on POSIX. Fails
// when anything is already at `path`. The content appears at `path` only
// once it is complete: on failure nothing is left there (platform part).
bool writeNewFile(const std::string& path, std::span<const std::byte> bytes);

} // namespace updater_image
