#include "icc/jpeg_reader.h"

// clang-format off
#include <csetjmp>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "icc/os_error.h"

namespace velquon {
namespace {

// libjpeg reports errors by longjmp. Everything it can jump over lives in this plain struct,
// and the *_step functions that call into it hold no object with a destructor: they turn the
// jump into `false`, and the text waits in `message`.
struct ErrorState {
  jpeg_error_mgr manager;  // first, so that cinfo->err leads back here
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX + 256];
};

struct Source {
  jpeg_source_mgr manager;  // first, so that cinfo->src leads back here
  std::FILE* file;
  ErrorState* errors;
  bool start_of_file;
  JOCTET buffer[4096];
};

struct Context {
  jpeg_decompress_struct cinfo;
  ErrorState errors;
  Source source;
  bool created;
};

[[noreturn]] void on_error_exit(j_common_ptr cinfo) {
  auto* state = reinterpret_cast<ErrorState*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, state->message);
  std::longjmp(state->jump, 1);
}

// Level -1 is corrupt or truncated data, after which libjpeg would fill the rest of the image
// with grey and carry on: a broken file must not score as a whole one.
void on_emit_message(j_common_ptr cinfo, int level) {
  if (level < 0) on_error_exit(cinfo);
}

void on_output_message(j_common_ptr) {}

void init_source(j_decompress_ptr cinfo) {
  reinterpret_cast<Source*>(cinfo->src)->start_of_file = true;
}

boolean fill_input_buffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  std::size_t n = std::fread(src->buffer, 1, sizeof src->buffer, src->file);
  if (n == 0) {
    if (std::ferror(src->file)) {
      int error = errno;
      {
        std::string text = os_error_text(error);
        std::snprintf(src->errors->message, sizeof src->errors->message, "%s", text.c_str());
      }
      std::longjmp(src->errors->jump, 1);
    }
    if (src->start_of_file) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // Unreachable with our message handler; kept as libjpeg's own source does it.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->manager.next_input_byte = src->buffer;
  src->manager.bytes_in_buffer = n;
  src->start_of_file = false;
  return TRUE;
}

void skip_input_data(j_decompress_ptr cinfo, long count) {
  auto* src = &cinfo->src[0];
  if (count <= 0) return;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    fill_input_buffer(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void term_source(j_decompress_ptr) {}

bool create_step(Context* c) {
  if (setjmp(c->errors.jump)) return false;
  jpeg_create_decompress(&c->cinfo);
  c->created = true;
  return true;
}

bool header_step(Context* c, bool save_app2) {
  if (setjmp(c->errors.jump)) return false;
  c->cinfo.src = &c->source.manager;
  if (save_app2) jpeg_save_markers(&c->cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&c->cinfo, TRUE);
  return true;
}

bool start_step(Context* c) {
  if (setjmp(c->errors.jump)) return false;
  jpeg_start_decompress(&c->cinfo);
  return true;
}

bool rows_step(Context* c, std::uint8_t* base, std::size_t row_bytes, JDIMENSION end_row) {
  if (setjmp(c->errors.jump)) return false;
  while (c->cinfo.output_scanline < end_row) {
    JSAMPROW rows[16];
    JDIMENSION n = std::min<JDIMENSION>(16, end_row - c->cinfo.output_scanline);
    for (JDIMENSION i = 0; i < n; ++i) rows[i] = base + (c->cinfo.output_scanline + i) * row_bytes;
    if (jpeg_read_scanlines(&c->cinfo, rows, n) == 0) {
      std::snprintf(c->errors.message, sizeof c->errors.message, "decoder stopped at row %u",
                    c->cinfo.output_scanline);
      return false;
    }
  }
  return true;
}

bool finish_step(Context* c) {
  if (setjmp(c->errors.jump)) return false;
  jpeg_finish_decompress(&c->cinfo);
  return true;
}

// The profile from the saved APP2 segments: none unless there are 1 to 254 of them, each
// declaring that count, with distinct sequence numbers 1 to count; joined in sequence order.
std::optional<colour::Vec<std::uint8_t>> assemble_icc(jpeg_saved_marker_ptr markers) {
  static constexpr char kTag[] = "ICC_PROFILE";  // with its NUL: 12 bytes
  constexpr std::size_t kHeader = 14;
  std::array<jpeg_saved_marker_ptr, 256> by_seq{};
  std::size_t count = 0;
  for (auto m = markers; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 2 || m->data_length < kHeader) continue;
    if (std::memcmp(m->data, kTag, sizeof kTag) != 0) continue;
    ++count;
  }
  if (count == 0 || count >= 255) return std::nullopt;
  std::size_t total = 0;
  for (auto m = markers; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 2 || m->data_length < kHeader) continue;
    if (std::memcmp(m->data, kTag, sizeof kTag) != 0) continue;
    std::uint8_t seq = m->data[12];
    if (m->data[13] != count || seq == 0 || by_seq[seq] != nullptr) return std::nullopt;
    by_seq[seq] = m;
    total += m->data_length - kHeader;
  }
  auto profile = colour::Vec<std::uint8_t>::zeroed(total);
  std::size_t at = 0;
  for (std::size_t seq = 1; seq <= count; ++seq) {
    if (by_seq[seq] == nullptr) return std::nullopt;
    std::size_t len = by_seq[seq]->data_length - kHeader;
    if (len != 0) std::memcpy(profile.data() + at, by_seq[seq]->data + kHeader, len);
    at += len;
  }
  return profile;
}

// The bytes from the file's position to its end, when the file can tell.
std::optional<std::uint64_t> bytes_left(std::FILE* file) {
  const off_t here = ftello(file);
  if (here < 0 || fseeko(file, 0, SEEK_END) != 0) {
    std::clearerr(file);
    return std::nullopt;
  }
  const off_t end = ftello(file);
  if (fseeko(file, here, SEEK_SET) != 0 || end < here) return std::nullopt;
  return static_cast<std::uint64_t>(end - here);
}

struct Destroyer {
  Context* c;
  ~Destroyer() {
    if (c->created) jpeg_destroy_decompress(&c->cinfo);
  }
};

}  // namespace

std::expected<JpegImage, std::string> read_jpeg_image(std::FILE* file,
                                                      const JpegReadOptions& options) {
  Context c{};
  c.cinfo.err = jpeg_std_error(&c.errors.manager);
  c.errors.manager.error_exit = on_error_exit;
  c.errors.manager.emit_message = on_emit_message;
  c.errors.manager.output_message = on_output_message;
  c.source.manager.init_source = init_source;
  c.source.manager.fill_input_buffer = fill_input_buffer;
  c.source.manager.skip_input_data = skip_input_data;
  c.source.manager.resync_to_restart = jpeg_resync_to_restart;
  c.source.manager.term_source = term_source;
  c.source.file = file;
  c.source.errors = &c.errors;
  Destroyer destroyer{&c};
  auto failure = [&c] { return std::unexpected(std::string(c.errors.message)); };

  if (!create_step(&c)) return failure();
  // Progressive and multi-scan files make libjpeg hold the coefficients of the whole image,
  // allocated (and zeroed as the scans reach them) when decompression starts. Their first scan
  // spends at least one bit on every 8 x 8 block of 128 coefficient bytes, so a file can fill
  // at most 1024 times its length with them; past that budget libjpeg fails the file
  // ("Backing store not supported") instead of taking memory for a header's claim.
  if (auto length = bytes_left(file)) {
    constexpr std::uint64_t kCoefficientBytesPerByte = 1024;
    constexpr std::uint64_t kWorkingBytes = std::uint64_t{64} << 20;
    const std::uint64_t budget =
        std::min<std::uint64_t>(*length, (std::uint64_t{1} << 50)) * kCoefficientBytesPerByte +
        kWorkingBytes;
    c.cinfo.mem->max_memory_to_use = static_cast<long>(budget);
  }
  if (!header_step(&c, options.read_icc)) return failure();

  JpegImage image;
  int components = c.cinfo.num_components;
  switch (components) {
    case 1:
      c.cinfo.out_color_space = JCS_GRAYSCALE;
      image.colour = JpegColour::Grey;
      break;
    case 3:
      c.cinfo.out_color_space = JCS_RGB;
      image.colour = JpegColour::Rgb;
      break;
    case 4:
      c.cinfo.out_color_space = JCS_CMYK;
      image.colour = JpegColour::Cmyk;
      break;
    default:
      return std::unexpected("Unsupported JPEG colour space with " + std::to_string(components) +
                             " components");
  }
  image.width = c.cinfo.image_width;
  image.height = c.cinfo.image_height;
  const std::size_t row_bytes = static_cast<std::size_t>(image.width) * components;
  const std::uint64_t total = static_cast<std::uint64_t>(row_bytes) * image.height;
  if (total > options.max_image_bytes) {
    return std::unexpected("decoded image needs " + std::to_string(total) +
                           " bytes, more than the limit of " +
                           std::to_string(options.max_image_bytes));
  }

  if (!start_step(&c)) return failure();
  if (c.cinfo.output_width != image.width || c.cinfo.output_height != image.height ||
      c.cinfo.output_components != components) {
    return std::unexpected(std::string("decoder output does not match the JPEG header"));
  }

  // A header may announce up to 65500 x 65500 pixels over a few bytes of data. The buffer grows
  // with the rows actually decoded, so a file without its data fails before it costs memory.
  constexpr std::size_t kFirstBytes = std::size_t{1} << 24;
  std::uint32_t capacity_rows = row_bytes == 0
                                    ? image.height
                                    : static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
                                          kFirstBytes / row_bytes, 1, image.height));
  auto pixels = colour::Vec<std::uint8_t>::zeroed(std::uint64_t{capacity_rows} * row_bytes);
  for (;;) {
    if (!rows_step(&c, pixels.data(), row_bytes, capacity_rows)) return failure();
    if (capacity_rows >= image.height) break;
    capacity_rows = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{capacity_rows} * 2, image.height));
    auto larger = colour::Vec<std::uint8_t>::zeroed(std::uint64_t{capacity_rows} * row_bytes);
    std::memcpy(larger.data(), pixels.data(), pixels.size());
    pixels = std::move(larger);
  }
  // Saved markers live in libjpeg's image pool, which finishing releases.
  if (options.read_icc) image.icc_profile = assemble_icc(c.cinfo.marker_list);
  if (!finish_step(&c)) return failure();

  if (image.colour == JpegColour::Cmyk) {
    for (std::uint8_t& b : pixels) b = static_cast<std::uint8_t>(255 - b);
  }
  image.pixels = std::move(pixels);
  return image;
}

}  // namespace velquon
