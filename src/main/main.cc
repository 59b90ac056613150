#include <cstdio>
#include <exception>
#include <string>
#include <variant>
#include <vector>

#include "colour/invariant.h"
#include "main/cli.h"
#include "main/run.h"
#include "main/startup.h"

namespace {

void write_text(const std::string& text, std::FILE* stream) {
  // A failed write of help or error text changes nothing: the status stays the same.
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  velquon::prepare_process();
  try {
    const std::vector<std::string> args(argv, argv + argc);
    auto cli = velquon::parse_cli(args);
    if (!cli) {
      const velquon::CliExit& exit = cli.error();
      write_text(exit.text, exit.stream == velquon::OutputStream::Stdout ? stdout : stderr);
      return exit.status;
    }
    return velquon::run(std::get<velquon::ImageCommand>(cli->command));
  } catch (const colour::InvariantError& error) {
    write_text(std::string(error.what()) + "\n", stderr);
    return velquon::FAILURE_STATUS;
  } catch (const std::exception& error) {
    // Any other exception is as much a bug as a broken invariant and ends the run the same way.
    write_text(std::string(error.what()) + "\n", stderr);
    return velquon::FAILURE_STATUS;
  }
}
