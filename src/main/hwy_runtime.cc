// The two entry points of Highway's run-time dispatch, defined in the executable itself so that
// it does not load Highway's shared library: that library runs a timer calibration of about
// 3 ms at every process start, a real cost for a tool started thousands of times. Tests keep
// the library (they restrict the targets through it).
#include <hwy/targets.h>

#include "main/cpu_targets.h"

namespace hwy {

ChosenTarget& GetChosenTarget() {
  static ChosenTarget chosen;
  return chosen;
}

int64_t SupportedTargets() {
  static const int64_t targets = velquon::detect_cpu_targets();
  return targets;
}

}  // namespace hwy
