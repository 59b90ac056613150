#include "icc/extension.h"

#include <cstdint>
#include <string_view>
#include <type_traits>

namespace velquon {

namespace {

static_assert(std::is_same_v<std::filesystem::path::value_type, char>,
              "path names are handled as byte strings");

// The last ordinary component: empty and "." components do not count, and a path whose last
// counting component is not a name (nothing left, a root, "..") has none.
std::optional<std::string_view> last_name(std::string_view path) {
  while (!path.empty()) {
    std::size_t slash = path.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    path = slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
    if (name.empty() || name == ".") continue;
    if (name == "..") return std::nullopt;
    return name;
  }
  return std::nullopt;
}

// How a UTF-8 sequence starts at the front of `s`: its length when it is valid, otherwise the
// length of its longest valid beginning (at least 1), which one U+FFFD replaces.
struct Utf8Step {
  bool valid;
  std::size_t length;
};

Utf8Step utf8_step(std::string_view s) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  std::uint8_t lead = byte(0);
  if (lead < 0x80) return {true, 1};
  std::size_t length;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return {false, 1};
  }
  for (std::size_t i = 1; i < length; ++i) {
    bool ok = i < s.size() &&
              (i == 1 ? byte(i) >= low && byte(i) <= high : byte(i) >= 0x80 && byte(i) <= 0xBF);
    if (!ok) return {false, i};
  }
  return {true, length};
}

std::string utf8_lossy(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    Utf8Step step = utf8_step(bytes);
    if (step.valid) {
      text.append(bytes.substr(0, step.length));
    } else {
      text.append("\xEF\xBF\xBD");
    }
    bytes.remove_prefix(step.length);
  }
  return text;
}

}  // namespace

std::optional<std::string> lowercase_extension(const std::filesystem::path& path) {
  std::optional<std::string_view> name = last_name(path.native());
  if (!name) return std::nullopt;
  std::size_t dot = name->find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  std::string extension(name->substr(dot + 1));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return utf8_lossy(extension);
}

DecodePath choose_decode_path(const std::filesystem::path& path) {
  std::optional<std::string> extension = lowercase_extension(path);
  if (!extension) return DecodePath::General;
  if (*extension == "png") return DecodePath::Png;
  if (*extension == "jpg" || *extension == "jpeg") return DecodePath::Jpeg;
  return DecodePath::General;
}

}  // namespace velquon
