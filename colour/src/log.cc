#include "colour/log.h"

namespace colour::log {
namespace {

class NopLogger final : public Logger {
 public:
  void log(const Record&) override {}
};

NopLogger nop_logger;
std::atomic<std::uint8_t> max_level_value{static_cast<std::uint8_t>(Level::Off)};
std::atomic<Logger*> installed{nullptr};

}  // namespace

void set_max_level(Level level) {
  max_level_value.store(static_cast<std::uint8_t>(level), std::memory_order_relaxed);
}

Level max_level() { return static_cast<Level>(max_level_value.load(std::memory_order_relaxed)); }

void set_logger(Logger* logger) { installed.store(logger, std::memory_order_release); }

Logger& logger() {
  Logger* l = installed.load(std::memory_order_acquire);
  return l != nullptr ? *l : nop_logger;
}

}  // namespace colour::log
