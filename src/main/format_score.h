#pragma once

#include <string>

namespace velquon {

// The score as the score line shows it: fixed notation with exactly eight decimals, rounded from
// the exact binary value to nearest with ties to even; a minus sign for every negative value,
// negative zero included; "inf", "-inf" and "NaN" without decimals.
std::string format_score(double score);

// The whole line written to standard output: "Score: ", the score and a line feed.
std::string score_line(double score);

}  // namespace velquon
