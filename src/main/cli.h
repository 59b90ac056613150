#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <variant>

namespace velquon {

inline constexpr const char* PROGRAM_NAME = "velquon";
inline constexpr const char* PROGRAM_VERSION = "0.5.2";

// `velquon image SOURCE DISTORTED [--no-icc]`. The paths are the argument bytes unchanged.
struct ImageCommand {
  std::filesystem::path source;
  std::filesystem::path distorted;
  bool no_icc = false;
};

using CliCommand = std::variant<ImageCommand>;

// The parsed command line.
struct Cli {
  CliCommand command;
};

enum class OutputStream : std::uint8_t { Stdout, Stderr };

// A command line that ends the run before anything is decoded: help, version or an error, with
// the stream its text belongs on and the exit status.
struct CliExit {
  std::string text;
  OutputStream stream;
  int status;
};

// Parses the process arguments, program path first (an empty span is allowed). Opens no file
// and writes nothing: the caller prints a CliExit and exits with its status.
std::expected<Cli, CliExit> parse_cli(std::span<const std::string> args);

// The name usage lines show: the last component of the program path when that is an ordinary
// name in valid UTF-8, otherwise "velquon".
std::string usage_name(std::span<const std::string> args);

}  // namespace velquon
