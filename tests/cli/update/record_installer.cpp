// A Windows installer for the update tests: appends its arguments, each in
// [], as one line to the file POVUPDATE_TEST_LOG names, and exits with the
// status POVUPDATE_TEST_STATUS gives (0 when unset).
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const char* log = std::getenv("POVUPDATE_TEST_LOG");
  const char* status = std::getenv("POVUPDATE_TEST_STATUS");
  if (log == nullptr) return 2;
  std::FILE* file = std::fopen(log, "a");
  if (file == nullptr) return 2;
  for (int i = 1; i < argc; ++i) (void)std::fprintf(file, "[%s]", argv[i]);
  (void)std::fputs("\n", file);
  (void)std::fclose(file);
  return status != nullptr ? std::atoi(status) : 0;
}
