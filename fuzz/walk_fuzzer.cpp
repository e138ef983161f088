// libFuzzer target: the update list and the local lookups through the
// exports (walk_check.cpp).
#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace povupdate::fuzz;
  Report(CheckWalk(data, size, PrivateDirectory()));
  return 0;
}
