#include "main/startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace velquon {

void prepare_process() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDWR);
    if (opened < 0) std::abort();
    if (opened != fd) {
      if (dup2(opened, fd) < 0) std::abort();
      close(opened);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
#if defined(__GLIBC__)
  // A run allocates a few buffers of megabytes and frees some of them before allocating others
  // of the same sizes (the decoders' sample arrays, the metric's halved frames). Served from the
  // heap and kept there, a freed buffer's pages are reused; given back to the system, every
  // new buffer would be fresh pages that the kernel must clear on first touch.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace velquon
