#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace colour {

// A broken internal invariant: a bug, never an expected outcome. The libraries throw it at the
// point of the check; only the executable's main catches it, prints what() and exits with 101.
class InvariantError : public std::exception {
 public:
  explicit InvariantError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

[[noreturn]] void fail_invariant(std::string message);

// Equality assertion whose report names both sides, left first.
void assert_equal(std::uint64_t left, std::uint64_t right);

}  // namespace colour
