// libFuzzer target: recording versions through the exports
// (local_write_check.cpp).
#include <cstdlib>

#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

// The library finds its local configuration file in the private directory,
// for system version 6.1.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string& directory = povupdate::fuzz::PrivateDirectory();
  setenv("POVUPDATE_MODULE_DIR", directory.c_str(), 1);
  setenv("POVUPDATE_OS_VERSION", "6.1", 1);
  setenv("POVUPDATE_REGISTRY_DIR", (directory + "/registry").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace povupdate::fuzz;
  Report(CheckLocalWrite(data, size, PrivateDirectory()));
  return 0;
}
