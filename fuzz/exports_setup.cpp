// Start-up of the targets that go through the exports: the library finds
// its files, and its registry store, in the process's private directory.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  povupdate::fuzz::UsePrivateDirectoryAsModuleDirectory();
  return 0;
}
