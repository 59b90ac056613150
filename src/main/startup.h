#pragma once

namespace velquon {

// Makes the process safe to write from before anything else runs: descriptors 0, 1 and 2 are
// opened on /dev/null where closed (so no file opened later lands on them), SIGPIPE is ignored
// (a closed pipe becomes a write error instead of a silent death), and standard output is
// line-buffered. Aborts if a closed descriptor cannot be reopened.
void prepare_process();

}  // namespace velquon
