#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velquon::fuzz {

// Every function the fuzz targets drive, by the name of its target and corpus directory.
enum class Target : std::uint8_t { Png, Jpeg, Webp, Exr, Hdr, Icc, Cli };

inline constexpr Target kTargets[] = {Target::Png, Target::Jpeg, Target::Webp, Target::Exr,
                                      Target::Hdr, Target::Icc,  Target::Cli};

std::string_view target_name(Target target);

// Runs one input through the target's function in-process. Expected failures come back as
// values and are fine; the result is a description of a finding: a broken invariant or an
// escaped exception on an input the function must handle, or a result that breaks its
// contract. Crashes, leaks and undefined behaviour are the sanitizers' to report.
std::optional<std::string> run_input(Target target, std::span<const std::uint8_t> input);

}  // namespace velquon::fuzz
