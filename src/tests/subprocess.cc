#include "subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace velquon::test {
namespace {

void read_both(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = (out_fd >= 0) + (err_fd >= 0);
  if (out_fd < 0) fds[0].fd = -1;
  char buf[65536];
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

RunResult run_process(const std::string& exe, const std::vector<std::string>& args,
                      const RunOptions& options) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  if (options.stdout_reader_gone) close(out_pipe[0]);

  std::vector<char*> argv;
  std::string argv0 = options.argv0.value_or(exe);
  argv.push_back(argv0.data());
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (options.cwd && chdir(options.cwd->c_str()) != 0) _exit(126);
    if (options.memory_limit_bytes > 0) {
      rlimit lim{static_cast<rlim_t>(options.memory_limit_bytes),
                 static_cast<rlim_t>(options.memory_limit_bytes)};
      setrlimit(RLIMIT_AS, &lim);
    }
    if (options.cpu_limit_seconds > 0) {
      rlimit lim{static_cast<rlim_t>(options.cpu_limit_seconds),
                 static_cast<rlim_t>(options.cpu_limit_seconds)};
      setrlimit(RLIMIT_CPU, &lim);
    }
    signal(SIGPIPE, SIG_DFL);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    if (options.close_stdout) {
      close(1);
    } else {
      dup2(out_pipe[1], 1);
    }
    dup2(err_pipe[1], 2);
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1], devnull}) {
      if (fd > 2) close(fd);
    }
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  RunResult result;
  read_both(options.stdout_reader_gone ? -1 : out_pipe[0], err_pipe[0], result.out, result.err);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) {
    result.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    result.signal = WTERMSIG(wstatus);
  }
  return result;
}

RunResult run_velquon(const std::vector<std::string>& args, const RunOptions& options) {
  return run_process(VELQUON_EXE, args, options);
}

}  // namespace velquon::test
