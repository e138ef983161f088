// libFuzzer target: key files and signature sections (signature_check.cpp).
#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace povupdate::fuzz;
  Report(CheckSignature(data, size));
  return 0;
}
