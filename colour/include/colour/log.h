#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// A tiny logging facade: records are formed only when the maximum level admits them and are
// then handed to the installed logger (a no-op one by default). The maximum level starts at
// Off, so a program that installs nothing pays for nothing and prints nothing.
namespace colour::log {

enum class Level : std::uint8_t { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

struct Record {
  Level level;
  std::string_view target;
  std::string_view module_path;
  std::string_view file;
  std::uint32_t line;
  std::string message;
};

class Logger {
 public:
  virtual ~Logger() = default;
  virtual void log(const Record& record) = 0;
};

void set_max_level(Level level);
Level max_level();
// The logger must outlive every later record; nullptr restores the no-op logger.
void set_logger(Logger* logger);
Logger& logger();

inline bool enabled(Level level) {
  return level != Level::Off &&
         static_cast<std::uint8_t>(level) <= static_cast<std::uint8_t>(max_level());
}

}  // namespace colour::log
