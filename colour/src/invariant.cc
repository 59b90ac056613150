#include "colour/invariant.h"

namespace colour {

void fail_invariant(std::string message) { throw InvariantError(std::move(message)); }

void assert_equal(std::uint64_t left, std::uint64_t right) {
  if (left != right) {
    fail_invariant("assertion `left == right` failed\n  left: " + std::to_string(left) +
                   "\n right: " + std::to_string(right));
  }
}

}  // namespace colour
