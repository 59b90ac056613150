#pragma once

#include <string>

namespace velquon {

// The operating system's description of an error number, as failure messages show it:
// "No such file or directory (os error 2)".
std::string os_error_text(int error_number);

}  // namespace velquon
