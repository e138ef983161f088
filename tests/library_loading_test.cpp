// The shipped library as a host loads it: every export by name, and on
// Windows by ordinal as well.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

const char* const kExports[] = {"GetTheUpdateSoftwareInforFromIni",
                                "GetTheLocalSoftwareInforFromIni",
                                "UpdateLocalSoftwareInforToIni",
                                "DeleteTheUpdateFile",
                                "GetSaveFilePath",
                                "SetSaveFilePath",
                                "GetTheFileName"};

#ifdef _WIN32
TEST(LibraryLoadingTest, EveryExportIsFoundByNameAndByOrdinal) {
  HMODULE library = LoadLibraryA(POVUPDATE_LIBRARY_FILE);
  ASSERT_NE(library, nullptr);
  for (int ordinal = 1; ordinal <= 7; ++ordinal) {
    FARPROC by_name = GetProcAddress(library, kExports[ordinal - 1]);
    FARPROC by_ordinal = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
    EXPECT_NE(by_name, nullptr) << kExports[ordinal - 1];
    EXPECT_EQ(by_name, by_ordinal) << kExports[ordinal - 1] << " at ordinal " << ordinal;
  }
  EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(8)), nullptr);
  using GetName = char*(__cdecl*)();
  auto get_name = reinterpret_cast<GetName>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, MAKEINTRESOURCEA(7))));
  char* name = get_name();
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "Update_6.1.ini");
  CoTaskMemFree(name);
  FreeLibrary(library);
}
#else
TEST(LibraryLoadingTest, EveryExportIsFoundByName) {
  void* library = dlopen(POVUPDATE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name : kExports) EXPECT_NE(dlsym(library, name), nullptr) << name;
  EXPECT_EQ(dlsym(library, "_ZN9povupdate13ConfigContextD2Ev"), nullptr);
  dlclose(library);
}
#endif

}  // namespace
