#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velquon {

// Jaro similarity of two byte strings, 0 (nothing in common) to 1 (equal).
double jaro_similarity(std::string_view a, std::string_view b);

// The candidate most similar to `word`, if any is similar enough (above 0.7) to be the name
// the user meant.
std::optional<std::string> most_similar(std::string_view word,
                                        std::span<const std::string> candidates);

}  // namespace velquon
