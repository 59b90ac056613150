#include "main/cli.h"

#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "subprocess.h"

namespace velquon {
namespace {

using test::run_velquon;
using test::RunOptions;

const std::string kTopHelp =
    "CLI for the ssimulacra2 quorvin implementation\n"
    "\n"
    "Usage: velquon <COMMAND>\n"
    "\n"
    "Commands:\n"
    "  image  Compare two still images. Resolutions must be identical\n"
    "  help   Print this message or the help of the given subcommand(s)\n"
    "\n"
    "Options:\n"
    "  -h, --help     Print help\n"
    "  -V, --version  Print version\n";

const std::string kImageHelp =
    "Compare two still images. Resolutions must be identical\n"
    "\n"
    "Usage: velquon image [OPTIONS] <SOURCE> <DISTORTED>\n"
    "\n"
    "Arguments:\n"
    "  <SOURCE>     Original unmodified image\n"
    "  <DISTORTED>  Distorted image\n"
    "\n"
    "Options:\n"
    "      --no-icc   Disable ICC color profile conversion (assume sRGB)\n"
    "  -h, --help     Print help\n"
    "  -V, --version  Print version\n";

// Outcomes that print a text of their own, checked exactly.
struct TextCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

const TextCase kTextCases[] = {
    {"no_arguments", {}, 2, "", kTopHelp},
    {"help_long", {"--help"}, 0, kTopHelp, ""},
    {"help_short", {"-h"}, 0, kTopHelp, ""},
    {"help_subcommand", {"help"}, 0, kTopHelp, ""},
    {"image_help_long", {"image", "--help"}, 0, kImageHelp, ""},
    {"image_help_short", {"image", "-h"}, 0, kImageHelp, ""},
    {"help_of_image", {"help", "image"}, 0, kImageHelp, ""},
    {"image_help_after_paths", {"image", "a.png", "b.png", "-h"}, 0, kImageHelp, ""},
    {"version_long", {"--version"}, 0, "velquon 0.5.2\n", ""},
    {"version_short", {"-V"}, 0, "velquon 0.5.2\n", ""},
    {"image_version_long", {"image", "--version"}, 0, "velquon-image 0.5.2\n", ""},
    {"image_version_short", {"image", "-V"}, 0, "velquon-image 0.5.2\n", ""},
};

class CliTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(CliTextTest, PrintsOnTheRightStreamWithTheRightStatus) {
  const TextCase& c = GetParam();
  const auto result = run_velquon(c.args);
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, CliTextTest, testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Command-line errors: status 2, nothing on stdout, and an error text on stderr that names the
// problem, shows the usage and ends with the hint to try --help. The paths never exist, so a run
// that went on to decode would fail with 101 instead.
struct ErrorCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

const ErrorCase kErrorCases[] = {
    {"image_without_paths",
     {"image"},
     {"required arguments were not provided", "<SOURCE>", "<DISTORTED>", "Usage: velquon image"},
     {}},
    {"image_with_one_path",
     {"image", "a.png"},
     {"required arguments were not provided", "<DISTORTED>", "Usage: velquon image"},
     {"  <SOURCE>"}},
    {"three_paths", {"image", "a.png", "b.png", "c.png"}, {"unexpected argument 'c.png'"}, {}},
    {"near_miss", {"imag"}, {"unrecognized subcommand 'imag'", "'image'"}, {}},
    {"near_miss_before_help", {"imag", "--help"}, {"unrecognized subcommand 'imag'"}, {}},
    {"other_word", {"compare", "a.png", "b.png"}, {"unrecognized subcommand 'compare'"}, {}},
    {"unknown_help_topic", {"help", "imag"}, {"unrecognized subcommand 'imag'", "'image'"}, {}},
    {"unknown_top_option", {"--bogus"}, {"unexpected argument '--bogus'"}, {}},
    {"unknown_image_option",
     {"image", "--bogus", "a.png", "b.png"},
     {"unexpected argument '--bogus'", "Usage: velquon image"},
     {}},
    {"misspelt_flag", {"image", "--no-ic", "a.png", "b.png"}, {"'--no-icc'"}, {}},
    {"no_icc_before_image",
     {"--no-icc", "image", "a.png", "b.png"},
     {"unexpected argument '--no-icc'"},
     {}},
    {"no_icc_twice",
     {"image", "--no-icc", "a.png", "--no-icc", "b.png"},
     {"'--no-icc' cannot be used multiple times"},
     {}},
    {"no_icc_with_value", {"image", "a.png", "b.png", "--no-icc=false"}, {"'--no-icc'"}, {}},
    {"empty_source", {"image", "", "b.png"}, {"a value is required for '<SOURCE>'"}, {}},
    {"empty_distorted", {"image", "a.png", ""}, {"a value is required for '<DISTORTED>'"}, {}},
    {"hyphen_path_without_separator",
     {"image", "-a.png", "b.png"},
     {"unexpected argument '-a.png'", "'-- -a.png'"},
     {}},
    {"number_like_path_without_separator",
     {"image", "-5", "b.png"},
     {"unexpected argument '-5'"},
     {}},
    {"subcommand_after_separator", {"--", "image", "a.png", "b.png"}, {"'image'"}, {}},
};

class CliErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(CliErrorTest, FailsWithStatusTwoOnStderr) {
  const ErrorCase& c = GetParam();
  const auto result = run_velquon(c.args);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(result.err.starts_with("error: ")) << result.err;
  EXPECT_TRUE(result.err.ends_with("\n\nFor more information, try '--help'.\n")) << result.err;
  for (const auto& fragment : c.present) {
    EXPECT_NE(result.err.find(fragment), std::string::npos) << fragment << " in\n" << result.err;
  }
  for (const auto& fragment : c.absent) {
    EXPECT_EQ(result.err.find(fragment), std::string::npos) << fragment << " in\n" << result.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, CliErrorTest, testing::ValuesIn(kErrorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliProgramName, UsageShowsTheNameRunUnderAndVersionDoesNot) {
  RunOptions as_score;
  as_score.argv0 = "score";
  const auto help = run_velquon({}, as_score);
  EXPECT_EQ(help.status, 2);
  EXPECT_NE(help.err.find("\nUsage: score <COMMAND>\n"), std::string::npos) << help.err;

  const auto missing = run_velquon({"image"}, as_score);
  EXPECT_NE(missing.err.find("\nUsage: score image [OPTIONS] <SOURCE> <DISTORTED>\n"),
            std::string::npos)
      << missing.err;

  const auto version = run_velquon({"image", "-V"}, as_score);
  EXPECT_EQ(version.out, "velquon-image 0.5.2\n");

  RunOptions in_dir;
  in_dir.argv0 = "/some/dir/renamed";
  EXPECT_EQ(run_velquon({"-V"}, in_dir).out, "velquon 0.5.2\n");
  EXPECT_NE(run_velquon({"-h"}, in_dir).out.find("Usage: renamed <COMMAND>"), std::string::npos);
}

struct NameCase {
  const char* name;
  std::vector<std::string> args;
  const char* shown;
};

const NameCase kNameCases[] = {
    {"no_arguments_at_all", {}, "velquon"},
    {"bare_name", {"score"}, "score"},
    {"absolute_path", {"/usr/local/bin/velquon"}, "velquon"},
    {"extension_kept", {"./velquon.exe"}, "velquon.exe"},
    {"trailing_separator", {"bin/score/"}, "score"},
    {"trailing_dot", {"bin/score/."}, "score"},
    {"root", {"/"}, "velquon"},
    {"current_directory", {"."}, "velquon"},
    {"parent_directory", {"bin/.."}, "velquon"},
    {"empty", {""}, "velquon"},
    {"invalid_utf8", {"bin/sc\xffore"}, "velquon"},
    {"utf8", {"bin/sc\xc3\xb6re"}, "sc\xc3\xb6re"},
};

class UsageNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(UsageNameTest, IsTheLastOrdinaryComponent) {
  EXPECT_EQ(usage_name(GetParam().args), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Names, UsageNameTest, testing::ValuesIn(kNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Command lines that parse, and the record they give.
struct ParsedCase {
  const char* name;
  std::vector<std::string> words;
  std::string source;
  std::string distorted;
  bool no_icc;
};

const ParsedCase kParsedCases[] = {
    {"plain", {"image", "a.png", "b.png"}, "a.png", "b.png", false},
    {"no_icc_first", {"image", "--no-icc", "a.png", "b.png"}, "a.png", "b.png", true},
    {"no_icc_between", {"image", "a.png", "--no-icc", "b.png"}, "a.png", "b.png", true},
    {"no_icc_last", {"image", "a.png", "b.png", "--no-icc"}, "a.png", "b.png", true},
    {"hyphen_paths_after_separator", {"image", "--", "-a", "--no-icc"}, "-a", "--no-icc", false},
    {"separator_between", {"image", "--no-icc", "a", "--", "-5"}, "a", "-5", true},
    {"lone_hyphen", {"image", "-", "b"}, "-", "b", false},
    {"plus_plus", {"image", "++", "b"}, "++", "b", false},
    {"invalid_utf8_bytes",
     {"image", "\xff\xfe.png", "dir/\x80"},
     "\xff\xfe.png",
     "dir/\x80",
     false},
    {"words_that_look_like_commands", {"image", "help", "image"}, "help", "image", false},
};

class ParseCliTest : public testing::TestWithParam<ParsedCase> {};

TEST_P(ParseCliTest, KeepsThePathBytes) {
  const ParsedCase& c = GetParam();
  std::vector<std::string> args = {"velquon"};
  args.insert(args.end(), c.words.begin(), c.words.end());
  const auto cli = parse_cli(args);
  ASSERT_TRUE(cli.has_value()) << cli.error().text;
  const auto& image = std::get<ImageCommand>(cli->command);
  EXPECT_EQ(image.source.native(), c.source);
  EXPECT_EQ(image.distorted.native(), c.distorted);
  EXPECT_EQ(image.no_icc, c.no_icc);
}

INSTANTIATE_TEST_SUITE_P(Accepted, ParseCliTest, testing::ValuesIn(kParsedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseCliTest, ReturnsOutcomesWithoutExiting) {
  const std::vector<std::string> help = {"velquon", "help"};
  const auto shown = parse_cli(help);
  ASSERT_FALSE(shown.has_value());
  EXPECT_EQ(shown.error().stream, OutputStream::Stdout);
  EXPECT_EQ(shown.error().status, 0);
  EXPECT_EQ(shown.error().text, kTopHelp);

  const auto nothing = parse_cli(std::vector<std::string>{});
  ASSERT_FALSE(nothing.has_value());
  EXPECT_EQ(nothing.error().stream, OutputStream::Stderr);
  EXPECT_EQ(nothing.error().status, 2);
}

}  // namespace
}  // namespace velquon
