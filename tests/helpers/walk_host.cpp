// A host as an installer runs it: walk_host LIBRARY loads the library from
// the path given, reads the first entry of the update list and the install
// path, and prints whether it runs with raised rights, the entry's name and
// the path. Exits 0 when every call succeeded.
#include <dlfcn.h>
#include <sys/auxv.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "povupdate.h"

namespace {

using GetUpdateFn = int (*)(int*, SoftwareInforRecord*);
using GetInstallPathFn = char* (*)();

void Release(SoftwareInforRecord& record) {
  for (char* text : {record.Name, record.Version, record.DownLoadPath, record.MD5,
                     record.InstallType, record.InstallPath, record.InstallParmeter, record.Size}) {
    std::free(text);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* library = dlopen(argv[1], RTLD_NOW);
  if (library == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  // dlsym hands out an object pointer; POSIX guarantees it converts.
  auto get_update =
      reinterpret_cast<GetUpdateFn>(dlsym(library, "GetTheUpdateSoftwareInforFromIni"));
  auto get_install_path = reinterpret_cast<GetInstallPathFn>(dlsym(library, "GetSaveFilePath"));
  if (get_update == nullptr || get_install_path == nullptr) return 1;
  std::printf("raised=%d\n", getauxval(AT_SECURE) != 0 ? 1 : 0);

  int cursor = 1;
  SoftwareInforRecord first{};
  const int result = get_update(&cursor, &first);
  if (result != POVUPDATE_OK || cursor != 2) return 1;
  std::printf("first=%s\n", first.Name);
  Release(first);

  char* install_path = get_install_path();
  if (install_path == nullptr) return 1;
  std::printf("install=%s\n", install_path);
  std::free(install_path);
  return 0;
}
