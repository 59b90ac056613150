#include "metric/score.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "colour/invariant.h"
#include "lib/score_mapping.h"
#include "test_util.h"

namespace metric {
namespace {

using testing::bits;

std::string eight_decimals(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.8f", v);
  return text;
}

Msssim records(std::size_t count) {
  Msssim m;
  for (std::size_t i = 0; i < count; ++i) m.scale_stats.push_back(ScaleStats{});
  return m;
}

TEST(MapToScore, KnownSumsGiveKnownScores) {
  struct Case {
    double acc;
    const char* expected;
  };
  const Case cases[] = {{1.0, "83.56967843"}, {20.0, "3.07463440"}, {50.0, "-44.32674806"}};
  for (const Case& c : cases) EXPECT_EQ(eight_decimals(map_to_score(c.acc)), c.expected) << c.acc;
}

TEST(MapToScore, ZeroAndNotANumberGiveExactlyOneHundred) {
  EXPECT_EQ(bits(map_to_score(0.0)), bits(100.0));
  EXPECT_EQ(bits(map_to_score(std::numeric_limits<double>::quiet_NaN())), bits(100.0));
}

TEST(MapToScore, SumsWhoseCubicOverflowsScoreMinusInfinityNotOneHundred) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (double acc : {1e160, 1e300, kInf}) EXPECT_EQ(map_to_score(acc), -kInf) << acc;
  EXPECT_LT(map_to_score(1e100), -1e180);  // the cubic still fits: an ordinary huge score
}

TEST(MsssimScore, ZeroNormsAndEmptyListScoreOneHundred) {
  EXPECT_EQ(bits(records(0).score()), bits(100.0));
  EXPECT_EQ(bits(records(6).score()), bits(100.0));
}

TEST(MsssimScore, NotANumberNormScoresOneHundred) {
  Msssim m = records(3);
  m.scale_stats[1].edge_norms[5] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(bits(m.score()), bits(100.0));
}

// The weight index runs on across records and planes: with S records plane c at record s reads
// row S c + s, so the same norm gets a different weight with two records than with six.
TEST(WeightedSum, WeightRowDependsOnTheNumberOfRecords) {
  struct Case {
    const char* name;
    std::size_t count, record;
    bool ssim;
    std::size_t element;
    double value, expected;
  };
  const Case cases[] = {
      {"two records, B artifact mean of record 0", 2, 0, false, 8, 1.0, 0.9677937080626833},
      {"six records, B artifact mean of record 0", 6, 0, false, 8, 1.0, 0.0008680556573291698},
      {"sign is cleared", 2, 0, false, 8, -1.0, 0.9677937080626833},
      {"two records, Y SSIM mean of record 1", 2, 1, true, 2, 1.0, 0.0007989109436015163},
      {"six records, Y SSIM 4-norm of record 2", 6, 2, true, 3, 1.0, 19.213238186143016},
      {"three records, B detail-loss 4-norm of record 2", 3, 2, false, 11, 1.0,
       0.001237755635509985},
  };
  for (const Case& c : cases) {
    Msssim m = records(c.count);
    if (c.ssim) {
      m.scale_stats[c.record].ssim_norms[c.element] = c.value;
    } else {
      m.scale_stats[c.record].edge_norms[c.element] = c.value;
    }
    EXPECT_EQ(bits(weighted_sum(m)), bits(c.expected)) << c.name;
  }
}

TEST(WeightedSum, TermsAreSummedInPlaneRecordTermOrder) {
  // Each step is fused, so acc = fma(w, v, acc); check two terms of the same plane against that.
  Msssim m = records(6);
  m.scale_stats[0].edge_norms[0] = 0.3;  // X artifact mean, row 0 term 1
  m.scale_stats[0].edge_norms[1] = 0.7;  // X artifact 4-norm, row 0 term 4
  const double expected =
      std::fma(0.0007793481682867309, 0.7, std::fma(0.0007376606707406586, 0.3, 0.0));
  EXPECT_EQ(bits(weighted_sum(m)), bits(expected));
}

TEST(MsssimScore, MoreThanSixRecordsIsABrokenInvariant) {
  try {
    records(7).score();
    ADD_FAILURE() << "no invariant failure";
  } catch (const colour::InvariantError& e) {
    EXPECT_STREQ(e.what(), "index out of bounds: the len is 108 but the index is 108");
  }
}

}  // namespace
}  // namespace metric
