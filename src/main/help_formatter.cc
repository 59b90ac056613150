#include "main/help_formatter.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace velquon {
namespace {

using Entry = std::pair<std::string, std::string>;  // left column, help text

void append_section(std::string& out, const char* title, const std::vector<Entry>& entries) {
  if (entries.empty()) return;
  std::size_t width = 0;
  for (const auto& [left, help] : entries) width = std::max(width, left.size());
  out += "\n";
  out += title;
  out += ":\n";
  for (const auto& [left, help] : entries) {
    out += left;
    out.append(width - left.size() + 2, ' ');
    out += help;
    out += "\n";
  }
}

bool is_generated_flag(const CLI::App* app, const CLI::Option* option) {
  return option == app->get_help_ptr() || option == app->get_version_ptr();
}

std::string option_column(const CLI::Option* option) {
  std::string left = "  ";
  const auto& shorts = option->get_snames();
  const auto& longs = option->get_lnames();
  left += shorts.empty() ? "    " : "-" + shorts.front() + ", ";
  if (!longs.empty()) left += "--" + longs.front();
  return left;
}

}  // namespace

std::string HelpFormatter::make_usage(const CLI::App* app, std::string name) const {
  std::string usage = std::move(name);
  if (!app->get_subcommands([](const CLI::App*) { return true; }).empty()) {
    return usage + " <COMMAND>";
  }
  const auto options = app->get_options();
  const bool has_options = std::any_of(options.begin(), options.end(), [&](const auto* option) {
    return !option->get_positional() && !is_generated_flag(app, option);
  });
  if (has_options) usage += " [OPTIONS]";
  for (const auto* option : options) {
    if (!option->get_positional()) continue;
    if (option->get_required()) {
      usage += " <" + option->get_name() + ">";
    } else {
      usage += " [" + option->get_name() + "]" + (option->get_expected_max() > 1 ? "..." : "");
    }
  }
  return usage;
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string name,
                                     CLI::AppFormatMode) const {
  std::string out =
      app->get_description() + "\n\nUsage: " + make_usage(app, std::move(name)) + "\n";

  std::vector<Entry> commands;
  for (const auto* sub : app->get_subcommands([](const CLI::App*) { return true; })) {
    commands.emplace_back("  " + sub->get_name(), sub->get_description());
  }
  std::vector<Entry> arguments;
  std::vector<Entry> options;
  for (const auto* option : app->get_options()) {
    if (option->get_positional()) {
      arguments.emplace_back("  <" + option->get_name() + ">", option->get_description());
    } else {
      options.emplace_back(option_column(option), option->get_description());
    }
  }
  append_section(out, "Commands", commands);
  append_section(out, "Arguments", arguments);
  append_section(out, "Options", options);
  return out;
}

}  // namespace velquon
