#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "icc/extension.h"

namespace velquon {
namespace {

struct PathCase {
  const char* name;
  std::string path;
  DecodePath expected;
};

const char* path_name(DecodePath path) {
  switch (path) {
    case DecodePath::Png:
      return "Png";
    case DecodePath::Jpeg:
      return "Jpeg";
    case DecodePath::General:
      return "General";
  }
  return "?";
}

TEST(DecodePathTest, ChoosesByExtensionOfLastName) {
  const PathCase cases[] = {
      {"lower png", "a.png", DecodePath::Png},
      {"upper png", "a.PNG", DecodePath::Png},
      {"mixed png", "a.Png", DecodePath::Png},
      {"lower jpg", "a.jpg", DecodePath::Jpeg},
      {"upper jpg", "a.JPG", DecodePath::Jpeg},
      {"lower jpeg", "a.jpeg", DecodePath::Jpeg},
      {"upper jpeg", "a.JPEG", DecodePath::Jpeg},
      {"mixed jpeg", "a.Jpeg", DecodePath::Jpeg},
      {"jpe", "a.jpe", DecodePath::General},
      {"jfif", "a.jfif", DecodePath::General},
      {"apng", "a.apng", DecodePath::General},
      {"webp", "a.webp", DecodePath::General},
      {"exr", "a.exr", DecodePath::General},
      {"hdr", "a.hdr", DecodePath::General},
      {"tif", "a.tif", DecodePath::General},
      {"last dot counts", "archive.tar.png", DecodePath::Png},
      {"earlier dot only", "photo.png.gz", DecodePath::General},
      {"empty extension", "photo.", DecodePath::General},
      {"no dot", "photo", DecodePath::General},
      {"dot-file", ".png", DecodePath::General},
      {"dot-file in directory", "dir/.png", DecodePath::General},
      {"trailing separator", "dir/photo.png/", DecodePath::Png},
      {"trailing dot component", "dir/photo.png/.", DecodePath::Png},
      {"repeated separators", "dir//photo.jpg//", DecodePath::Jpeg},
      {"leading dot component", "./photo.png", DecodePath::Png},
      {"dot in directory only", "dir.png/photo", DecodePath::General},
      {"parent component", "photo.png/..", DecodePath::General},
      {"parent alone", "..", DecodePath::General},
      {"current alone", ".", DecodePath::General},
      {"root", "/", DecodePath::General},
      {"empty path", "", DecodePath::General},
      {"absolute", "/tmp/x/a.JPG", DecodePath::Jpeg},
      {"invalid UTF-8 extension", "a.png\xff", DecodePath::General},
      {"invalid UTF-8 lead byte alone", "a.\xc3", DecodePath::General},
      {"non-ASCII letter is not lowered", "a.p\xc3\x91g", DecodePath::General},
      {"invalid UTF-8 in the stem", "\xff\xfe.png", DecodePath::Png},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(path_name(choose_decode_path(c.path)), std::string(path_name(c.expected)))
        << c.name << ": " << c.path;
  }
}

struct ExtensionCase {
  const char* name;
  std::string path;
  std::optional<std::string> expected;
};

TEST(LowercaseExtensionTest, DistinguishesEmptyFromMissingAndReplacesInvalidBytes) {
  const ExtensionCase cases[] = {
      {"lowered ASCII", "a.WebP", "webp"},
      {"empty", "photo.", ""},
      {"three dots", "...", ""},
      {"none without dot", "photo", std::nullopt},
      {"none for dot-file", ".hidden", std::nullopt},
      {"none for parent", "a/..", std::nullopt},
      {"none for empty path", "", std::nullopt},
      {"valid two-byte sequence kept, not lowered", "a.\xc3\x89X", "\xc3\x89x"},
      {"lone continuation byte", "a.\x80z", "\xef\xbf\xbdz"},
      {"truncated sequence is one replacement", "a.\xe2\x82Z", "\xef\xbf\xbdz"},
      {"surrogate is invalid", "a.\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {"overlong is invalid", "a.\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"four-byte sequence kept", "a.\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"past U+10FFFF is invalid", "a.\xf4\x90\x80\x80",
       "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const ExtensionCase& c : cases) {
    EXPECT_EQ(lowercase_extension(c.path), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace velquon
