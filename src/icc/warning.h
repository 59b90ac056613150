#pragma once

#include <string_view>

namespace velquon {

// Writes "Warning: " + message + newline to standard error in one write, so that warnings of
// the two images never interleave with other output.
void write_warning(std::string_view message);

}  // namespace velquon
