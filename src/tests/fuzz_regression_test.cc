// Every input a fuzz target has ever crashed on, saved under src/fuzz/corpus/<target>/
// regressions, goes through the same function again.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "fuzz/fuzz_inputs.h"

namespace velquon {
namespace {

TEST(FuzzRegressions, SavedInputsAreHandled) {
  const std::filesystem::path corpus =
      std::filesystem::path(VELQUON_SOURCE_DIR) / "src/fuzz/corpus";
  for (fuzz::Target target : fuzz::kTargets) {
    const auto dir = corpus / std::string(fuzz::target_name(target)) / "regressions";
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      SCOPED_TRACE(entry.path().string());
      const test::Bytes input = test::read_file(entry.path());
      EXPECT_EQ(fuzz::run_input(target, input), std::nullopt);
    }
  }
}

}  // namespace
}  // namespace velquon
