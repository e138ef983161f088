// libFuzzer target: the update list and the local lookups through the
// exports (walk_check.cpp).
#include <cstdlib>

#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

// The library finds its files in the private directory, for system version
// 6.1; its registry store is there too, should anything ask for it.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string& directory = povupdate::fuzz::PrivateDirectory();
  setenv("POVUPDATE_MODULE_DIR", directory.c_str(), 1);
  setenv("POVUPDATE_OS_VERSION", "6.1", 1);
  setenv("POVUPDATE_REGISTRY_DIR", (directory + "/registry").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace povupdate::fuzz;
  Report(CheckWalk(data, size, PrivateDirectory()));
  return 0;
}
