#include "icc/png_reader.h"

#include <png.h>
#include <zlib.h>

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "colour/invariant.h"
#include "icc/os_error.h"

namespace velquon {
namespace {

// libpng reports errors by longjmp. The functions that call into it between setjmp and return
// (the *_step functions) hold no object with a destructor; they turn the jump into `false`, and
// the text waits here.
struct ErrorState {
  char message[512];
};

void on_error(png_structp png, png_const_charp text) {
  auto* state = static_cast<ErrorState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", text);
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void read_data(png_structp png, png_bytep data, std::size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, file) == length) return;
  char text[256] = "unexpected end of file";
  if (std::ferror(file)) {
    int error = errno;
    std::string os = os_error_text(error);
    std::snprintf(text, sizeof text, "%s", os.c_str());
  }
  png_error(png, text);
}

// Destroyed on every way out; libpng's structures hold no destructors of ours.
struct Handles {
  png_structp png = nullptr;
  png_infop info = nullptr;
  Handles() = default;
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
};

bool read_info_step(png_structp png, png_infop info, std::FILE* file, bool keep_iccp) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, file, read_data);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, kPngChunkLimitBytes);
  // The CRC of every IDAT chunk already covers the compressed bytes; the zlib stream's Adler-32
  // would add a pass over the inflated image for nothing, and a stream whose chunks are intact
  // is decoded even when that checksum is wrong.
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
  // libpng checks iCCP profiles itself and silently drops those it dislikes; the profile
  // conversion must see them as stored, so the chunk is kept raw (or skipped unread).
  static const png_byte kIccp[] = "iCCP";
  png_set_keep_unknown_chunks(png, keep_iccp ? PNG_HANDLE_CHUNK_ALWAYS : PNG_HANDLE_CHUNK_NEVER,
                              kIccp, 1);
  png_read_info(png, info);
  return true;
}

bool update_step(png_structp png, png_infop info, int* passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  int color_type = png_get_color_type(png, info);
  if (color_type == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(png);
  } else if (color_type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  *passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool rows_step(png_structp png, std::uint8_t* data, std::size_t row_bytes, std::uint32_t height,
               int passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int pass = 0; pass < passes; ++pass) {
    for (std::uint32_t y = 0; y < height; ++y) png_read_row(png, data + y * row_bytes, nullptr);
  }
  return true;
}

int channels_of(int color_type) {
  switch (color_type) {
    case PNG_COLOR_TYPE_GRAY:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    default:
      return 4;
  }
}

// The iCCP payload: keyword, NUL, compression method 0, zlib stream. A malformed chunk is
// ignored like any other broken ancillary chunk (no profile); a profile that inflates past the
// chunk limit is an error.
std::expected<std::optional<colour::Vec<std::uint8_t>>, std::string> inflate_iccp(
    const png_unknown_chunk& chunk) {
  const std::uint8_t* bytes = chunk.data;
  std::size_t size = chunk.size;
  const void* nul = size == 0 ? nullptr : std::memchr(bytes, 0, std::min<std::size_t>(size, 80));
  if (nul == nullptr) return std::nullopt;
  std::size_t method_at = static_cast<const std::uint8_t*>(nul) - bytes + 1;
  if (method_at >= size || bytes[method_at] != 0) return std::nullopt;

  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  z.next_in = const_cast<Bytef*>(bytes + method_at + 1);
  z.avail_in = static_cast<uInt>(size - method_at - 1);
  std::vector<std::uint8_t> out;
  int status = Z_OK;
  constexpr std::size_t kStep = 1 << 16;
  // Z_BUF_ERROR ends a stream cut short; every other status but Z_OK ends it as well.
  while (status == Z_OK && out.size() <= kPngChunkLimitBytes) {
    std::size_t used = out.size();
    out.resize(used + kStep);
    z.next_out = out.data() + used;
    z.avail_out = kStep;
    status = inflate(&z, Z_NO_FLUSH);
    out.resize(used + (kStep - z.avail_out));
  }
  inflateEnd(&z);
  if (out.size() > kPngChunkLimitBytes) {
    return std::unexpected("iCCP: profile exceeds the limit of " +
                           std::to_string(kPngChunkLimitBytes) + " bytes");
  }
  if (status != Z_STREAM_END) return std::nullopt;
  return colour::Vec<std::uint8_t>::from(out);
}

// Deflate expands its input at most about 1032 times; with the chunk framing around it, no
// byte of the file can become more than this many bytes of image data.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kInflateSlackBytes = std::uint64_t{1} << 16;

// A header may announce 2^31 x 2^31 pixels over a few bytes of data. When the rest of the file
// cannot possibly inflate to the samples the header announces, the image data is too short, and
// that is known before the image buffer exists. Files that cannot tell their length (pipes) go
// on and fail when their data runs out.
std::optional<std::string> data_shortfall(png_structp png, png_infop info, std::FILE* file) {
  const off_t here = ftello(file);
  if (here < 0 || fseeko(file, 0, SEEK_END) != 0) {
    std::clearerr(file);
    return std::nullopt;
  }
  const off_t end = ftello(file);
  if (fseeko(file, here, SEEK_SET) != 0) return std::string("cannot return to the image data");
  if (end < here) return std::nullopt;
  // The stored samples without filter bytes or row padding: a lower bound for every layout.
  const unsigned __int128 bits = static_cast<unsigned __int128>(png_get_image_width(png, info)) *
                                 png_get_image_height(png, info) * png_get_channels(png, info) *
                                 png_get_bit_depth(png, info);
  const unsigned __int128 needed = bits / 8;
  const unsigned __int128 remaining = static_cast<std::uint64_t>(end - here);
  if (needed <= remaining * kMaxInflateRatio + kInflateSlackBytes) return std::nullopt;
  return "the " + std::to_string(static_cast<std::uint64_t>(remaining)) +
         " bytes left in the file cannot hold the " +
         std::to_string(static_cast<std::uint64_t>(needed)) +
         " bytes of samples the header announces";
}

std::unexpected<PngFailure> fail(PngStage stage, std::string message) {
  return std::unexpected(PngFailure{stage, std::move(message)});
}

}  // namespace

std::expected<PngImage, PngFailure> read_png_image(std::FILE* file, const PngReadOptions& options) {
  ErrorState error{};
  Handles h;
  h.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, on_error, on_warning);
  if (h.png == nullptr) return fail(PngStage::Info, "libpng could not create a decoder");
  h.info = png_create_info_struct(h.png);
  if (h.info == nullptr) return fail(PngStage::Info, "libpng could not create a decoder");
  if (!read_info_step(h.png, h.info, file, options.read_icc)) {
    return fail(PngStage::Info, error.message);
  }

  PngImage image;
  image.width = png_get_image_width(h.png, h.info);
  image.height = png_get_image_height(h.png, h.info);
  int stored_type = png_get_color_type(h.png, h.info);
  int stored_depth = png_get_bit_depth(h.png, h.info);
  if (stored_type == PNG_COLOR_TYPE_PALETTE) {
    image.color_type = png_get_valid(h.png, h.info, PNG_INFO_tRNS) != 0 ? PNG_COLOR_TYPE_RGB_ALPHA
                                                                        : PNG_COLOR_TYPE_RGB;
    image.bit_depth = 8;
  } else {
    image.color_type = stored_type;
    image.bit_depth = stored_depth < 8 ? 8 : stored_depth;
  }
  image.channels = channels_of(image.color_type);

  if (options.read_icc) {
    png_unknown_chunkp chunks = nullptr;
    int count = png_get_unknown_chunks(h.png, h.info, &chunks);
    for (int i = 0; i < count; ++i) {
      if (std::memcmp(chunks[i].name, "iCCP", 4) != 0) continue;
      auto profile = inflate_iccp(chunks[i]);
      if (!profile) return fail(PngStage::Info, std::move(profile.error()));
      image.icc_profile = std::move(*profile);
      break;
    }
  }

  // The size the header announces, checked before anything of that size exists.
  std::uint64_t row_bytes = static_cast<std::uint64_t>(image.width) * image.channels *
                            static_cast<std::uint64_t>(image.bit_depth / 8);
  std::uint64_t total = 0;
  if (__builtin_mul_overflow(row_bytes, static_cast<std::uint64_t>(image.height), &total)) {
    return fail(PngStage::TooLarge, "decoded image size overflows 64 bits");
  }
  if (total > options.max_image_bytes) {
    return fail(PngStage::TooLarge, "decoded image needs " + std::to_string(total) +
                                        " bytes, more than the limit of " +
                                        std::to_string(options.max_image_bytes));
  }

  if (auto short_data = data_shortfall(h.png, h.info, file)) {
    return fail(PngStage::Frame, std::move(*short_data));
  }

  int passes = 1;
  if (!update_step(h.png, h.info, &passes)) return fail(PngStage::Info, error.message);
  colour::assert_equal(png_get_channels(h.png, h.info), image.channels);
  colour::assert_equal(png_get_rowbytes(h.png, h.info), row_bytes);

  image.data = colour::Vec<std::uint8_t>::zeroed(total);
  if (!rows_step(h.png, image.data.data(), row_bytes, image.height, passes)) {
    return fail(PngStage::Frame, error.message);
  }
  return image;
}

}  // namespace velquon
