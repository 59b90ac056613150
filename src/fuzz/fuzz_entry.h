#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_inputs.h"

// The body of every target's LLVMFuzzerTestOneInput: a finding becomes a crash, which is what
// libFuzzer keeps as a reproducer.
inline int fuzz_one(velquon::fuzz::Target target, const std::uint8_t* data, std::size_t size) {
  auto finding = velquon::fuzz::run_input(target, {data, size});
  if (finding) {
    std::fprintf(stderr, "finding in %s: %s\n", velquon::fuzz::target_name(target).data(),
                 finding->c_str());
    std::abort();
  }
  return 0;
}
