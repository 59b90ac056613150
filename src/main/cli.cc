#include "main/cli.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "main/help_formatter.h"
#include "main/suggest.h"
#include "main/utf8.h"

namespace velquon {
namespace {

constexpr const char* TOP_ABOUT = "CLI for the ssimulacra2 quorvin implementation";
constexpr const char* IMAGE_ABOUT = "Compare two still images. Resolutions must be identical";
constexpr const char* HELP_ABOUT = "Print this message or the help of the given subcommand(s)";
constexpr const char* HELP_HINT = "\nFor more information, try '--help'.\n";

// CLI11 reads a lone "++" as the end of a subcommand, while here it is an ordinary word (a
// valid path). Arguments can never contain a NUL byte, so this stand-in cannot collide.
const std::string PLUS_PLUS_STAND_IN("\0++", 3);

std::string restore(std::string word) { return word == PLUS_PLUS_STAND_IN ? "++" : word; }

// Thrown from CLI11 callbacks, so these errors surface in the order the words are processed.
struct RepeatedFlag {
  std::string flag;
};
struct EmptyValue {
  std::string value_name;
};

// The definition, and the variables CLI11 stores the parsed values in.
class Definition {
 public:
  Definition() : app_(TOP_ABOUT, PROGRAM_NAME), formatter_(std::make_shared<HelpFormatter>()) {
    app_.formatter(formatter_);
    app_.set_help_flag("-h,--help", "Print help");
    app_.set_version_flag("-V,--version", std::string(PROGRAM_NAME) + " " + PROGRAM_VERSION,
                          "Print version");
    app_.require_subcommand(0, 1);

    image_ = app_.add_subcommand("image", IMAGE_ABOUT);
    image_->add_option("SOURCE", source_, "Original unmodified image")
        ->required()
        ->each(reject_empty("SOURCE"));
    image_->add_option("DISTORTED", distorted_, "Distorted image")
        ->required()
        ->each(reject_empty("DISTORTED"));
    image_
        ->add_flag(
            "--no-icc",
            [](std::int64_t count) {
              if (count > 1) throw RepeatedFlag{"--no-icc"};
            },
            "Disable ICC color profile conversion (assume sRGB)")
        ->disable_flag_override();
    // Re-added after --no-icc so that the generated flags are listed last, as in the top command.
    image_->set_help_flag("-h,--help", "Print help");
    image_->set_version_flag(
        "-V,--version", std::string(PROGRAM_NAME) + "-image " + PROGRAM_VERSION, "Print version");

    help_ = app_.add_subcommand("help", HELP_ABOUT);
    help_->set_help_flag();
    help_->add_option("COMMAND", help_names_, "Print help for the subcommand(s)");
  }
  Definition(const Definition&) = delete;
  Definition& operator=(const Definition&) = delete;

  CLI::App& app() { return app_; }
  const HelpFormatter& formatter() const { return *formatter_; }
  CLI::App* image() { return image_; }
  CLI::App* help() { return help_; }
  bool no_icc() const { return image_->count("--no-icc") > 0; }
  std::string source() const { return restore(source_); }
  std::string distorted() const { return restore(distorted_); }
  const std::vector<std::string>& help_names() const { return help_names_; }

 private:
  static std::function<void(const std::string&)> reject_empty(std::string value_name) {
    return [value_name](const std::string& value) {
      if (value.empty()) throw EmptyValue{value_name};
    };
  }

  CLI::App app_;
  std::shared_ptr<HelpFormatter> formatter_;
  CLI::App* image_ = nullptr;
  CLI::App* help_ = nullptr;
  std::string source_;
  std::string distorted_;
  std::vector<std::string> help_names_;
};

// Builds the texts of the outcomes that end the run, for one program name.
class Outcomes {
 public:
  Outcomes(Definition& definition, std::string name)
      : definition_(definition), name_(std::move(name)) {}

  std::string display_name(const CLI::App* app) const {
    return app == &definition_.app() ? name_ : name_ + " " + app->get_name();
  }

  std::string help_text(const CLI::App* app) const {
    return definition_.formatter().make_help(app, display_name(app), CLI::AppFormatMode::Normal);
  }

  CliExit help(const CLI::App* app, OutputStream stream, int status) const {
    return {help_text(app), stream, status};
  }

  // "error: " and the first line, optional tip lines, the usage of `app` and the closing hint.
  CliExit error(const CLI::App* app, const std::string& message,
                const std::vector<std::string>& tips = {}) const {
    std::string text = "error: " + message + "\n";
    if (!tips.empty()) {
      text += "\n";
      for (const auto& tip : tips) text += "  tip: " + tip + "\n";
    }
    text += "\nUsage: " + definition_.formatter().make_usage(app, display_name(app)) + "\n";
    text += HELP_HINT;
    return {std::move(text), OutputStream::Stderr, 2};
  }

  CliExit unrecognized_subcommand(const CLI::App* parent, const std::string& word) const {
    std::vector<std::string> names;
    for (const auto* sub : parent->get_subcommands([](const CLI::App*) { return true; })) {
      names.push_back(sub->get_name());
    }
    std::vector<std::string> tips;
    if (auto similar = most_similar(word, names)) {
      tips.push_back("a similar subcommand exists: '" + *similar + "'");
    }
    return error(parent, "unrecognized subcommand '" + word + "'", tips);
  }

  CliExit unexpected_argument(const CLI::App* app, const std::string& word) const {
    std::vector<std::string> tips;
    if (word.starts_with("--")) {
      std::vector<std::string> longs;
      for (const auto* option : app->get_options()) {
        for (const auto& name : option->get_lnames()) longs.push_back(name);
      }
      const std::size_t equals = word.find('=');
      const std::string name =
          equals == std::string::npos ? word.substr(2) : word.substr(2, equals - 2);
      if (auto similar = most_similar(name, longs); similar && *similar != name) {
        tips.push_back("a similar argument exists: '--" + *similar + "'");
      }
    }
    if (tips.empty() && app == definition_.image() && word.size() > 1 && word.front() == '-') {
      tips.push_back("to pass '" + word + "' as a value, use '-- " + word + "'");
    }
    return error(app, "unexpected argument '" + word + "' found", tips);
  }

  CliExit unexpected_value(const CLI::App* app, const std::string& flag,
                           const std::string& value) const {
    return error(
        app, "unexpected value '" + value + "' for '" + flag + "' found; no more were expected");
  }

 private:
  Definition& definition_;
  std::string name_;
};

bool is_help_or_version(const std::string& word) {
  if (word == "--help" || word == "--version") return true;
  return word.size() >= 2 && word[0] == '-' && (word[1] == 'h' || word[1] == 'V');
}

struct WordCheck {
  std::optional<CliExit> exit;
  std::optional<std::size_t> subcommand_at;  // index of the subcommand's word
};

// The words CLI11 reads differently from the rules of this command line, checked in order up to
// the first help or version flag (which acts as soon as it is met): the first word that is not
// an option selects the subcommand, so any other word there is an unknown subcommand; "-5" is an
// unknown option, not a value; a flag given a value with "=" is an error; after a lone "--" at
// the top level nothing can select a subcommand any more.
WordCheck check_words(std::span<const std::string> words, Definition& definition,
                      const Outcomes& outcomes) {
  CLI::App* top = &definition.app();
  CLI::App* level = top;
  WordCheck check;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--") {
      if (level == top && i + 1 < words.size()) {
        check.exit = outcomes.unexpected_argument(top, words[i + 1]);
      }
      return check;
    }
    if (is_help_or_version(word)) return check;
    if (word.size() >= 2 && word[0] == '-' && word[1] >= '0' && word[1] <= '9') {
      check.exit = outcomes.unexpected_argument(level, word);
      return check;
    }
    if (word.starts_with("--") && word.find('=') != std::string::npos) {
      const std::string name = word.substr(2, word.find('=') - 2);
      for (const auto* option : level->get_options()) {
        const auto& longs = option->get_lnames();
        if (!option->get_positional() && option->get_items_expected_max() == 0 &&
            std::find(longs.begin(), longs.end(), name) != longs.end()) {
          check.exit =
              outcomes.unexpected_value(level, "--" + name, word.substr(word.find('=') + 1));
          return check;
        }
      }
    }
    if (level == top && !word.starts_with("-")) {
      if (word == "image") {
        level = definition.image();
      } else if (word == "help") {
        level = definition.help();
      } else {
        check.exit = outcomes.unrecognized_subcommand(top, word);
        return check;
      }
      check.subcommand_at = i;
    }
  }
  return check;
}

CLI::App* app_named(Definition& definition, const std::string& name) {
  if (name == definition.image()->get_name()) return definition.image();
  if (name == definition.help()->get_name()) return definition.help();
  return &definition.app();
}

// The error for the first word that CLI11 could not place, if any.
std::optional<CliExit> leftover_error(Definition& definition, const Outcomes& outcomes,
                                      std::span<const std::string> words, const WordCheck& check) {
  CLI::App* top = &definition.app();
  std::optional<std::size_t> first;
  CLI::App* level = top;
  for (CLI::App* app : {top, definition.image(), definition.help()}) {
    for (const auto& remaining : app->remaining()) {
      if (remaining == "--") continue;
      const std::string word = restore(remaining);
      const auto at =
          static_cast<std::size_t>(std::find(words.begin(), words.end(), word) - words.begin());
      if (!first || at < *first) {
        first = at;
        level = app;
      }
      break;
    }
  }
  if (!first || *first >= words.size()) return std::nullopt;
  // CLI11 hands words left over after the subcommand's own values back to the top command;
  // they still belong to the subcommand.
  if (level == top && check.subcommand_at && *first > *check.subcommand_at) {
    level = app_named(definition, words[*check.subcommand_at]);
  }
  if (level == top && top->get_subcommands().empty() && !words[*first].starts_with("-")) {
    return outcomes.unrecognized_subcommand(top, words[*first]);
  }
  return outcomes.unexpected_argument(level, words[*first]);
}

// `help` followed by subcommand names: the help of the command they lead to.
CliExit help_subcommand(Definition& definition, const Outcomes& outcomes) {
  CLI::App* target = &definition.app();
  for (const auto& name : definition.help_names()) {
    // `help help` shows the top command's help: the help subcommand has none of its own.
    if (target == &definition.app() && name == "help") continue;
    CLI::App* sub = nullptr;
    for (auto* candidate : target->get_subcommands([](const CLI::App*) { return true; })) {
      if (candidate->get_name() == name && candidate != definition.help()) sub = candidate;
    }
    if (sub == nullptr) return outcomes.unrecognized_subcommand(target, restore(name));
    target = sub;
  }
  return outcomes.help(target, OutputStream::Stdout, 0);
}

}  // namespace

std::string usage_name(std::span<const std::string> args) {
  if (args.empty()) return PROGRAM_NAME;
  // The last component, ignoring trailing separators and "." components.
  std::string_view path = args.front();
  std::string_view last;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(start, end - start);
    if (!component.empty() && component != ".") last = component;
    start = end + 1;
  }
  if (last.empty() || last == ".." || !is_valid_utf8(last)) return PROGRAM_NAME;
  return std::string(last);
}

std::expected<Cli, CliExit> parse_cli(std::span<const std::string> args) {
  Definition definition;
  const Outcomes outcomes(definition, usage_name(args));
  CLI::App& app = definition.app();
  const std::span<const std::string> words = args.empty() ? args : args.subspan(1);

  if (words.empty()) return std::unexpected(outcomes.help(&app, OutputStream::Stderr, 2));
  const WordCheck check = check_words(words, definition, outcomes);
  if (check.exit) return std::unexpected(*check.exit);

  // CLI11 takes the words in reverse order.
  std::vector<std::string> reversed;
  reversed.reserve(words.size());
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    reversed.push_back(*it == "++" ? PLUS_PLUS_STAND_IN : *it);
  }

  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    const CLI::App* level = definition.image()->parsed() ? definition.image() : &app;
    return std::unexpected(outcomes.help(level, OutputStream::Stdout, 0));
  } catch (const CLI::CallForAllHelp&) {
    const CLI::App* level = definition.image()->parsed() ? definition.image() : &app;
    return std::unexpected(outcomes.help(level, OutputStream::Stdout, 0));
  } catch (const CLI::CallForVersion& version) {
    return std::unexpected(CliExit{std::string(version.what()) + "\n", OutputStream::Stdout, 0});
  } catch (const RepeatedFlag& repeated) {
    return std::unexpected(outcomes.error(
        definition.image(), "the argument '" + repeated.flag + "' cannot be used multiple times"));
  } catch (const EmptyValue& empty) {
    return std::unexpected(outcomes.error(
        definition.image(),
        "a value is required for '<" + empty.value_name + ">' but none was supplied"));
  } catch (const CLI::RequiredError& required) {
    // Required paths are checked last: a word that was not understood is the earlier error.
    if (auto leftover = leftover_error(definition, outcomes, words, check)) {
      return std::unexpected(*leftover);
    }
    CLI::App* image = definition.image();
    if (!image->parsed()) return std::unexpected(outcomes.error(&app, required.what()));
    std::string message = "the following required arguments were not provided:";
    for (const char* name : {"SOURCE", "DISTORTED"}) {
      if (image->count(name) == 0) message += "\n  <" + std::string(name) + ">";
    }
    return std::unexpected(outcomes.error(image, message));
  } catch (const CLI::ExtrasError&) {
    if (auto leftover = leftover_error(definition, outcomes, words, check)) {
      return std::unexpected(*leftover);
    }
    return std::unexpected(outcomes.error(&app, "unexpected argument found"));
  } catch (const CLI::ParseError& other) {
    const CLI::App* level = definition.image()->parsed() ? definition.image() : &app;
    return std::unexpected(outcomes.error(level, other.what()));
  }

  if (definition.help()->parsed()) return std::unexpected(help_subcommand(definition, outcomes));
  if (!definition.image()->parsed()) {
    return std::unexpected(outcomes.help(&app, OutputStream::Stderr, 2));
  }
  return Cli{ImageCommand{std::filesystem::path(definition.source()),
                          std::filesystem::path(definition.distorted()), definition.no_icc()}};
}

}  // namespace velquon
