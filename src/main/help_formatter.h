#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace velquon {

// Lays out help screens from the definition: the about text, the usage line, then the
// Commands, Arguments and Options sections, each entry's help text aligned within its section.
class HelpFormatter : public CLI::Formatter {
 public:
  // `name` is the command as the usage line shows it ("velquon", "velquon image").
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override;
  std::string make_usage(const CLI::App* app, std::string name) const override;
};

}  // namespace velquon
