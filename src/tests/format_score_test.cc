#include "main/format_score.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace velquon {
namespace {

struct ScoreCase {
  const char* name;
  double score;
  const char* text;
};

const ScoreCase kCases[] = {
    {"eighty_seven_and_a_half", 87.5, "87.50000000"},
    {"hundred", 100.0, "100.00000000"},
    {"zero", 0.0, "0.00000000"},
    {"negative_zero", -0.0, "-0.00000000"},
    {"negative_rounding_to_zero", -1e-9, "-0.00000000"},
    {"negative", -12.25, "-12.25000000"},
    {"large_negative", -1234567.125, "-1234567.12500000"},
    {"rounds_up", 0.123456789, "0.12345679"},
    {"rounds_down", 0.123456784, "0.12345678"},
    // 2^-27 = 0.000000007450580596923828125: above the tie 0.000000005, so it rounds up.
    {"two_to_minus_27", 0x1p-27, "0.00000001"},
    // 2^-28 = 0.0000000037252902984619140625: below the tie.
    {"two_to_minus_28", 0x1p-28, "0.00000000"},
    // Odd multiples of 2^-9 end in a 5 at the ninth decimal: exact ties, which go to the even
    // eighth digit. 1/512 = 0.001953125, 5/512 = 0.009765625, 3/512 = 0.005859375.
    {"tie_to_even_down", 0.001953125, "0.00195312"},
    {"tie_to_even_up", 0.009765625, "0.00976562"},
    {"tie_odd_rounds_up", 3.0 / 512.0, "0.00585938"},
    {"tie_above_one_down", 87.5 + 1.0 / 512.0, "87.50195312"},
    {"tie_above_one_up", 87.5 + 3.0 / 512.0, "87.50585938"},
    {"negative_tie", -0.001953125, "-0.00195312"},
    {"largest_finite", std::numeric_limits<double>::max(),
     "179769313486231570814527423731704356798070567525844996598917476803157260780028538760589558"
     "632766878171540458953514382464234321326889464182768467546703537516986049910576551282076245"
     "490090389328944075868508455133942304583236903222948165808559332123348274797826204144723168"
     "738177180919299881250404026184124858368.00000000"},
    {"infinity", std::numeric_limits<double>::infinity(), "inf"},
    {"negative_infinity", -std::numeric_limits<double>::infinity(), "-inf"},
    {"nan", std::numeric_limits<double>::quiet_NaN(), "NaN"},
    {"negative_nan", -std::numeric_limits<double>::quiet_NaN(), "NaN"},
};

class FormatScoreTest : public testing::TestWithParam<ScoreCase> {};

TEST_P(FormatScoreTest, WritesTheScoreLine) {
  const ScoreCase& c = GetParam();
  EXPECT_EQ(format_score(c.score), c.text);
  EXPECT_EQ(score_line(c.score), std::string("Score: ") + c.text + "\n");
}

INSTANTIATE_TEST_SUITE_P(Scores, FormatScoreTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velquon
