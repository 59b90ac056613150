#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velquon::test {

struct RunOptions {
  std::optional<std::string> argv0;  // default: the executable's path
  bool close_stdout = false;         // start the child with descriptor 1 closed
  bool stdout_reader_gone = false;   // standard output is a pipe whose reader has closed
  std::optional<std::string> cwd;
  long memory_limit_bytes = 0;  // RLIMIT_AS when non-zero
  long cpu_limit_seconds = 0;   // RLIMIT_CPU when non-zero
};

struct RunResult {
  int status = -1;  // exit status, or -1 when killed by a signal
  int signal = 0;   // the signal that ended the child, if any
  std::string out;
  std::string err;
};

// Runs `exe` with `args` (argument bytes passed through unchanged) and collects both streams.
RunResult run_process(const std::string& exe, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// The built velquon executable.
RunResult run_velquon(const std::vector<std::string>& args, const RunOptions& options = {});

}  // namespace velquon::test
