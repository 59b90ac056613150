#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace velquon {

// The extension of the path's last component, lower-cased (ASCII letters only) and turned into
// UTF-8 text with each invalid sequence replaced by U+FFFD. Empty for a name ending in a dot;
// absent for a name without a dot, a dot-file, "..", or a path without an ordinary last name.
std::optional<std::string> lowercase_extension(const std::filesystem::path& path);

enum class DecodePath : std::uint8_t { Png, Jpeg, General };

// Which decoder a path goes to; decided by the name alone, never by the content.
DecodePath choose_decode_path(const std::filesystem::path& path);

}  // namespace velquon
