#include "metric/score.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "colour/invariant.h"
#include "lib/score_mapping.h"

namespace metric {

namespace {

constexpr std::size_t kWeightCount = 108;

// 18 rows of six terms: SSIM mean, artifact mean, detail-loss mean, then the three 4-norms.
// With six scales row 6 c + s belongs to plane c at scale s; with fewer, the index simply runs
// on, so the rows read are S c + s.
// clang-format off
constexpr double kScoreWeights[kWeightCount] = {
    0.0, 0.0007376606707406586, 0.0, 0.0, 0.0007793481682867309, 0.0,  // X, scale 0
    0.0, 0.0004371155730107379, 0.0, 1.1041726426657346, 0.00066284834129271, 0.00015231632783718752,  // X, scale 1
    0.0, 0.0016406437456599754, 0.0, 1.8422455520539298, 11.441172603757666, 0.0,  // X, scale 2
    0.0007989109436015163, 0.000176816438078653, 0.0, 1.8787594979546387, 10.94906990605142, 0.0,  // X, scale 3
    0.0007289346991508072, 0.9677937080626833, 0.0, 0.00014003424285435884, 0.9981766977854967, 0.00031949755934435053,  // X, scale 4
    0.0004550992113792063, 0.0, 0.0, 0.0013648766163243398, 0.0, 0.0,  // X, scale 5
    0.0, 0.0, 0.0, 7.466890328078848, 0.0, 17.445833984131262,  // Y, scale 0
    0.0006235601634041466, 0.0, 0.0, 6.683678146179332, 0.00037724407979611296, 1.027889937768264,  // Y, scale 1
    225.20515300849274, 0.0, 0.0, 19.213238186143016, 0.0011401524586618361, 0.001237755635509985,  // Y, scale 2
    176.39317598450694, 0.0, 0.0, 24.43300999870476, 0.28520802612117757, 0.0004485436923833408,  // Y, scale 3
    0.0, 0.0, 0.0, 34.77906344483772, 44.835625328877896, 0.0,  // Y, scale 4
    0.0, 0.0, 0.0, 0.0, 0.0, 0.0,  // Y, scale 5
    0.0, 0.0008680556573291698, 0.0, 0.0, 0.0, 0.0,  // B, scale 0
    0.0, 0.0005313191874358747, 0.0, 0.00016533814161379112, 0.0, 0.0,  // B, scale 1
    0.0, 0.0, 0.0, 0.0004179171803251336, 0.0017290828234722833, 0.0,  // B, scale 2
    0.0020827005846636437, 0.0, 0.0, 8.826982764996862, 23.19243343998926, 0.0,  // B, scale 3
    95.1080498811086, 0.9863978034400682, 0.9834382792465353, 0.0012286405048278493, 171.2667255897307, 0.9807858872435379,  // B, scale 4
    0.0, 0.0, 0.0, 0.0005130064588990679, 0.0, 0.00010854057858411537,  // B, scale 5
};
// clang-format on

double weight(std::size_t i) {
  if (i >= kWeightCount) {
    colour::fail_invariant("index out of bounds: the len is " + std::to_string(kWeightCount) +
                           " but the index is " + std::to_string(i));
  }
  return kScoreWeights[i];
}

}  // namespace

double weighted_sum(const Msssim& msssim) {
  double acc = 0.0;
  std::size_t i = 0;
  for (std::size_t c = 0; c < 3; ++c) {
    for (const ScaleStats& stats : msssim.scale_stats) {
      const double terms[6] = {
          stats.ssim_norms[2 * c],     stats.edge_norms[4 * c],     stats.edge_norms[4 * c + 2],
          stats.ssim_norms[2 * c + 1], stats.edge_norms[4 * c + 1], stats.edge_norms[4 * c + 3],
      };
      for (const double v : terms) acc = std::fma(weight(i++), std::fabs(v), acc);
    }
  }
  return acc;
}

double map_to_score(double acc) {
  const double b = acc * 0.9562382616834844;
  // The grouping and the two fused steps decide the last bits: keep them.
  const double t3 = b * (b * 6.248496625763138e-05);
  const double t2 = b * (b * -0.020884521182843837);
  const double u = std::fma(b, 2.326765642916932, t2);
  const double p = std::fma(t3, b, u);
  if (p > 0.0) return std::fma(std::pow(p, 0.6276336467831387), -10.0, 100.0);
  // A positive sum so large that the cubic overflows to inf - inf is the largest possible
  // difference, not a perfect match: give the cubic's limit instead of the score of identity.
  if (acc > 0.0 && std::isnan(p)) return -std::numeric_limits<double>::infinity();
  return 100.0;  // p <= 0, or a NaN sum
}

double Msssim::score() const { return map_to_score(weighted_sum(*this)); }

}  // namespace metric
