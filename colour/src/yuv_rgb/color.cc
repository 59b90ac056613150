#include "colour/yuv_rgb/color.h"

#include <bit>
#include <cstdint>

namespace colour {
namespace {

constexpr float f32(std::uint32_t bits) { return std::bit_cast<float>(bits); }

struct Chromaticity {
  float x;
  float y;
};

// X and Z of a white point with Y = 1.
struct White {
  float x;
  float z;
};

constexpr White kD65{f32(0x3F735115u), f32(0x3F8B663Eu)};          // 0.95045596, 1.0890577
constexpr White kIlluminantC{f32(0x3F7B23A5u), f32(0x3F977E60u)};  // 0.98101264, 1.1835442
constexpr White kDci{f32(0x3F6503A6u), f32(0x3F745499u)};          // 0.8945869, 0.95441586
// Z is 0.9999998, not 1.
constexpr White kIlluminantE{f32(0x3F800000u), f32(0x3F7FFFFDu)};

struct Gamut {
  Chromaticity red;
  Chromaticity green;
  Chromaticity blue;
  White white;
};

constexpr float k0_64 = f32(0x3F23D70Au);
constexpr float k0_33 = f32(0x3EA8F5C3u);
constexpr float k0_60 = f32(0x3F19999Au);
constexpr float k0_15 = f32(0x3E19999Au);
constexpr float k0_06 = f32(0x3D75C28Fu);
constexpr float k0_63 = f32(0x3F2147AEu);
constexpr float k0_34 = f32(0x3EAE147Bu);
constexpr float k0_155 = f32(0x3E1EB852u);
constexpr float k0_68 = f32(0x3F2E147Bu);
constexpr float k0_32 = f32(0x3EA3D70Au);
constexpr float k0_265 = f32(0x3E87AE14u);
constexpr float k0_69 = f32(0x3F30A3D7u);

constexpr Gamut kBt709{{k0_64, k0_33}, {f32(0x3E99999Au), k0_60}, {k0_15, k0_06}, kD65};
constexpr Gamut kBt470M{{f32(0x3F2B851Fu), k0_33},             // 0.67
                        {f32(0x3E570A3Du), f32(0x3F35C28Fu)},  // 0.21, 0.71
                        {f32(0x3E0F5C29u), f32(0x3DA3D70Au)},  // 0.14, 0.08
                        kIlluminantC};
constexpr Gamut kBt470BG{{k0_64, k0_33}, {f32(0x3E947AE1u), k0_60}, {k0_15, k0_06}, kD65};  // 0.29
constexpr Gamut kSmpte170M{{k0_63, k0_34},
                           {f32(0x3E9EB852u), f32(0x3F1851ECu)},  // 0.31, 0.595
                           {k0_155, f32(0x3D8F5C29u)},            // 0.07
                           kD65};
constexpr Gamut kFilm{{f32(0x3F2E5604u), f32(0x3EA353F8u)},  // 0.681, 0.319
                      {f32(0x3E78D4FEu), f32(0x3F3126E9u)},  // 0.243, 0.692
                      {f32(0x3E147AE1u), f32(0x3D48B439u)},  // 0.145, 0.049
                      kIlluminantC};
constexpr Gamut kBt2020{{f32(0x3F353F7Du), f32(0x3E958106u)},  // 0.708, 0.292
                        {f32(0x3E2E147Bu), f32(0x3F4C0831u)},  // 0.17, 0.797
                        {f32(0x3E0624DDu), f32(0x3D3C6A7Fu)},  // 0.131, 0.046
                        kD65};
constexpr Gamut kDciP3{{k0_68, k0_32}, {k0_265, k0_69}, {k0_15, k0_06}, kDci};
constexpr Gamut kDisplayP3{{k0_68, k0_32}, {k0_265, k0_69}, {k0_15, k0_06}, kD65};
constexpr Gamut kEbuTech3213{{k0_63, k0_34},
                             {f32(0x3E970A3Du), f32(0x3F1AE148u)},  // 0.295, 0.605
                             {k0_155, f32(0x3D9DB22Du)},            // 0.077
                             kD65};

constexpr Matrix3 kIdentity{{{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}}};

// Bradford cone-response matrix and its stored (not computed) inverse.
constexpr Matrix3 kBradford{{
    {f32(0x3F652546u), f32(0x3E886595u), f32(0xBE25460Bu)},  // 0.8951, 0.2664, -0.1614
    {f32(0xBF400D1Bu), f32(0x3FDB53F8u), f32(0x3D1652BDu)},  // -0.7502, 1.7135, 0.0367
    {f32(0x3D1F559Bu), f32(0xBD8C49BAu), f32(0x3F83C9EFu)},  // 0.0389, -0.0685, 1.0296
}};
constexpr Matrix3 kBradfordInverse{{
    {f32(0x3F7CAB91u), f32(0xBE169565u), f32(0x3E23CD40u)},  // 0.9869929, -0.14705427, 0.15996265
    {f32(0x3EDD571Eu), f32(0x3F04B342u), f32(0x3D49E598u)},  // 0.43230528, 0.51836026, 0.049291223
    {f32(0xBC0BBBD3u), f32(0x3D2403F1u), f32(0x3F77EEBEu)},  // -0.0085286675, 0.04004282,
                                                             // 0.96848667
}};

// The second and third products are summed first; the order decides the last bits.
float dot3(float a0, float b0, float a1, float b1, float a2, float b2) {
  return a0 * b0 + (a1 * b1 + a2 * b2);
}

Matrix3 multiply(const Matrix3& u, const Matrix3& v) {
  Matrix3 q{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      q[i][j] = dot3(u[i][0], v[0][j], u[i][1], v[1][j], u[i][2], v[2][j]);
    }
  }
  return q;
}

// Adjugate over determinant, one division per entry; a singular matrix is not tested for.
Matrix3 invert(const Matrix3& a) {
  const float c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
  const float c01 = a[1][0] * a[2][2] - a[1][2] * a[2][0];
  const float c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
  const float d = a[0][0] * c00 - (a[0][1] * c01 - a[0][2] * c02);
  Matrix3 inv;
  inv[0][0] = c00 / d;
  inv[0][1] = -(a[0][1] * a[2][2] - a[0][2] * a[2][1]) / d;
  inv[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / d;
  inv[1][0] = -c01 / d;
  inv[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / d;
  inv[1][2] = -(a[0][0] * a[1][2] - a[0][2] * a[1][0]) / d;
  inv[2][0] = c02 / d;
  inv[2][1] = -(a[0][0] * a[2][1] - a[0][1] * a[2][0]) / d;
  inv[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / d;
  return inv;
}

std::expected<Gamut, ColorConversionError> gamut_of(ColorPrimaries primaries) {
  switch (primaries) {
    case ColorPrimaries::ItuBt709:
      return kBt709;
    case ColorPrimaries::ItuBt470M:
      return kBt470M;
    case ColorPrimaries::ItuBt470BG:
      return kBt470BG;
    case ColorPrimaries::SmpteSt170M:
    case ColorPrimaries::SmpteSt240M:
      return kSmpte170M;
    case ColorPrimaries::Film:
      return kFilm;
    case ColorPrimaries::ItuBt2020:
      return kBt2020;
    case ColorPrimaries::DciP3:
      return kDciP3;
    case ColorPrimaries::DisplayP3:
      return kDisplayP3;
    case ColorPrimaries::EbuTech3213:
      return kEbuTech3213;
    case ColorPrimaries::Unspecified:
      return std::unexpected(ColorConversionError::UnspecifiedColorPrimaries);
    case ColorPrimaries::Identity:
    case ColorPrimaries::Reserved:
    case ColorPrimaries::SmpteSt428:  // has no chromaticities; its matrix is the identity
      break;
  }
  return std::unexpected(ColorConversionError::UnsupportedColorPrimaries);
}

White adaptation_white(ColorPrimaries primaries) {
  switch (primaries) {
    case ColorPrimaries::ItuBt470M:
    case ColorPrimaries::Film:
      return kIlluminantC;
    case ColorPrimaries::SmpteSt428:
      return kIlluminantE;
    case ColorPrimaries::DciP3:
      return kDci;
    default:
      return kD65;
  }
}

std::array<float, 3> cone_response(const White& w) {
  std::array<float, 3> rho;
  for (int k = 0; k < 3; ++k) {
    rho[k] = dot3(kBradford[k][0], w.x, kBradford[k][1], 1.0f, kBradford[k][2], w.z);
  }
  return rho;
}

}  // namespace

std::expected<Matrix3, ColorConversionError> gamut_rgb_to_xyz_matrix(ColorPrimaries primaries) {
  if (primaries == ColorPrimaries::SmpteSt428) return kIdentity;  // the primaries are XYZ
  auto gamut = gamut_of(primaries);
  if (!gamut) return std::unexpected(gamut.error());
  const Chromaticity c[3] = {gamut->red, gamut->green, gamut->blue};
  Matrix3 p;
  for (int j = 0; j < 3; ++j) {
    p[0][j] = c[j].x / c[j].y;
    p[1][j] = 1.0f;
    p[2][j] = ((1.0f - c[j].x) - c[j].y) / c[j].y;
  }
  const Matrix3 inv = invert(p);
  const White& w = gamut->white;
  float s[3];
  for (int i = 0; i < 3; ++i) s[i] = dot3(inv[i][0], w.x, inv[i][1], 1.0f, inv[i][2], w.z);
  Matrix3 m;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m[i][j] = p[i][j] * s[j];
  }
  return m;
}

Matrix3 chromatic_adaptation(ColorPrimaries in, ColorPrimaries out) {
  const White w_in = adaptation_white(in);
  const White w_out = adaptation_white(out);
  if (w_in.x == w_out.x && w_in.z == w_out.z) return kIdentity;
  const auto rho_in = cone_response(w_in);
  const auto rho_out = cone_response(w_out);
  Matrix3 g{};
  for (int k = 0; k < 3; ++k) g[k][k] = rho_out[k] / rho_in[k];
  return multiply(multiply(kBradfordInverse, g), kBradford);
}

Pixel transform_pixel(const Matrix3& m, const Pixel& p) {
  return {dot3(m[0][0], p[0], m[0][1], p[1], m[0][2], p[2]),
          dot3(m[1][0], p[0], m[1][1], p[1], m[1][2], p[2]),
          dot3(m[2][0], p[0], m[2][1], p[1], m[2][2], p[2])};
}

std::expected<std::optional<Matrix3>, ColorConversionError> primaries_matrix(ColorPrimaries in,
                                                                             ColorPrimaries out) {
  if (in == out) return std::nullopt;
  // The output side is looked at first, so when both sides are invalid its error wins.
  Matrix3 xyz_to_out = kIdentity;
  if (out != ColorPrimaries::SmpteSt428) {
    auto m_out = gamut_rgb_to_xyz_matrix(out);
    if (!m_out) return std::unexpected(m_out.error());
    xyz_to_out = invert(*m_out);
  }
  const Matrix3 adaptation = chromatic_adaptation(in, out);
  auto in_to_xyz = gamut_rgb_to_xyz_matrix(in);
  if (!in_to_xyz) return std::unexpected(in_to_xyz.error());
  return multiply(multiply(xyz_to_out, adaptation), *in_to_xyz);
}

std::expected<PixelBuffer, ColorConversionError> transform_primaries(PixelBuffer data,
                                                                     ColorPrimaries in,
                                                                     ColorPrimaries out) {
  const auto t = primaries_matrix(in, out);
  if (!t) return std::unexpected(t.error());
  if (*t && !data.empty()) transform_pixels(**t, data.span());
  return data;
}

}  // namespace colour
