#include "main/format_score.h"

#include <array>
#include <charconv>
#include <cmath>

#include "colour/invariant.h"

namespace velquon {

std::string format_score(double score) {
  if (std::isnan(score)) return "NaN";
  if (std::isinf(score)) return score < 0 ? "-inf" : "inf";
  // The largest finite double has 309 integer digits; with the sign, point and eight decimals
  // the text stays well inside this buffer. to_chars works from the exact binary value, so the
  // rounding is correct to the last digit, and it writes the sign of negative zero.
  std::array<char, 400> buffer;
  auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), score,
                                    std::chars_format::fixed, 8);
  if (error != std::errc{}) colour::fail_invariant("score does not fit its text buffer");
  return std::string(buffer.data(), end);
}

std::string score_line(double score) { return "Score: " + format_score(score) + "\n"; }

}  // namespace velquon
