#include "icc/warning.h"

#include <cstdio>
#include <string>

namespace velquon {

void write_warning(std::string_view message) {
  std::string line;
  line.reserve(message.size() + 10);
  line.append("Warning: ").append(message).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace velquon
