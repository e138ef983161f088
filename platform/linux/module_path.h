// The path that stands for the host executable's on Linux, by one rule for
// the library's GetModuleFileNameA and the command-line host alike. Keeps
// nothing between calls.
#pragma once

#include <string>

namespace povupdate::backend {

// The running executable's path as the kernel gives it now; "" when it gives
// none.
std::string ReadExecutablePath();

// `executable`, with the module directory variable, when set, standing in for its
// directory (hosts installed in system directories, and tests), except under
// raised rights. May throw std::bad_alloc.
std::string ModulePath(const std::string& executable);

}  // namespace povupdate::backend
