/* A host that loads PovUpdate.dll at run time, with no import library: it
 * finds the functions by name or by ordinal, names the update file and lists
 * each offered version beside the installed one. */
#include <windows.h>

#include <objbase.h> /* CoTaskMemFree */
#include <stdio.h>

#include "povupdate.h" /* SoftwareInforRecord and the result codes */

/* Every export is __cdecl. */
typedef char*(__cdecl* GetTheFileNameFn)(void);
typedef int(__cdecl* GetTheUpdateSoftwareInforFromIniFn)(int*, SoftwareInforRecord*);
typedef int(__cdecl* GetTheLocalSoftwareInforFromIniFn)(const char*, SoftwareInforRecord*);

/* Every text the library hands out is the host's: release all eight. */
static void ReleaseRecord(SoftwareInforRecord* record) {
  CoTaskMemFree(record->Name);
  CoTaskMemFree(record->Version);
  CoTaskMemFree(record->DownLoadPath);
  CoTaskMemFree(record->MD5);
  CoTaskMemFree(record->InstallType);
  CoTaskMemFree(record->InstallPath);
  CoTaskMemFree(record->InstallParmeter);
  CoTaskMemFree(record->Size);
}

/* GetProcAddress hands out a generic function pointer, cast here to the
 * type that matches every function; each caller casts it to the function's
 * own type. `export` is a name or an ordinal (MAKEINTRESOURCEA). */
typedef void (*AnyFunction)(void);
static AnyFunction FindExport(HMODULE library, const char* export) {
  return (AnyFunction)GetProcAddress(library, export);
}

static int ListUpdates(HMODULE library) {
  /* By name... */
  GetTheUpdateSoftwareInforFromIniFn get_update =
      (GetTheUpdateSoftwareInforFromIniFn)FindExport(library, "GetTheUpdateSoftwareInforFromIni");
  /* ...or by ordinal: 2 is GetTheLocalSoftwareInforFromIni, 7 GetTheFileName. */
  GetTheLocalSoftwareInforFromIniFn get_local =
      (GetTheLocalSoftwareInforFromIniFn)FindExport(library, MAKEINTRESOURCEA(2));
  GetTheFileNameFn get_file_name = (GetTheFileNameFn)FindExport(library, MAKEINTRESOURCEA(7));
  if (get_update == NULL || get_local == NULL || get_file_name == NULL) return -1;

  char* file_name = get_file_name();
  if (file_name == NULL) return -1;
  printf("update file: %s\n", file_name);
  CoTaskMemFree(file_name);

  int cursor = 1;
  for (;;) {
    SoftwareInforRecord offered;
    SoftwareInforRecord installed;
    int result = get_update(&cursor, &offered);
    if (result != POVUPDATE_OK) return result;
    if (cursor == -1) return POVUPDATE_OK; /* the end; offered is untouched */
    result = get_local(offered.Name, &installed);
    if (result == POVUPDATE_OK) {
      printf("%s: offered %s, installed %s\n", offered.Name, offered.Version,
             installed.Version[0] != '\0' ? installed.Version : "none");
      ReleaseRecord(&installed);
    }
    ReleaseRecord(&offered);
    if (result != POVUPDATE_OK) return result;
  }
}

int main(void) {
  HMODULE library = LoadLibraryA("PovUpdate.dll");
  if (library == NULL) {
    fprintf(stderr, "PovUpdate.dll can't be loaded: error %lu\n", GetLastError());
    return 1;
  }
  const int result = ListUpdates(library);
  FreeLibrary(library);
  if (result != POVUPDATE_OK) {
    fprintf(stderr, "PovUpdate error %d\n", result);
    return 1;
  }
  return 0;
}
