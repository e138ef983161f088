/* A host linked with PovUpdate.dll's import library. Given a directory, it
 * first stores it as the install directory. It names the update file and the
 * install directory, then walks the update list: each offered version is
 * compared with the installed one and, once installed, recorded. */
#include <objbase.h> /* CoTaskMemFree */
#include <stdio.h>
#include <string.h>

#include "povupdate.h"

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

/* Compares an offered item with the installed one and records the offered
 * version once the item is up to date. */
static int CheckItem(SoftwareInforRecord* offered) {
  SoftwareInforRecord installed;
  int result = GetTheLocalSoftwareInforFromIni(offered->Name, &installed);
  if (result != POVUPDATE_OK) return result;
  printf("%s: offered %s, installed %s\n", offered->Name, offered->Version,
         installed.Version[0] != '\0' ? installed.Version : "none");
  if (strcmp(installed.Version, offered->Version) != 0) {
    /* Here a real host downloads offered->DownLoadPath, checks offered->MD5
     * and runs the installer into offered->InstallPath. */
    result = UpdateLocalSoftwareInforToIni(offered);
    if (result == POVUPDATE_OK) printf("%s: recorded %s\n", offered->Name, offered->Version);
  }
  ReleaseRecord(&installed);
  return result;
}

/* The library may append "\Install" to the text in place: the buffer has
 * room for those 8 characters. */
static int StoreInstallDir(const char* dir) {
  char buffer[260];
  if (strlen(dir) + 8 >= sizeof buffer) return POVUPDATE_PATH_TOO_LONG;
  strcpy(buffer, dir);
  int result = SetSaveFilePath(buffer);
  if (result == POVUPDATE_OK) printf("install directory set: %s\n", buffer);
  return result;
}

int main(int argc, char** argv) {
  if (argc > 1) {
    int result = StoreInstallDir(argv[1]);
    if (result != POVUPDATE_OK) {
      fprintf(stderr, "PovUpdate error %d\n", result);
      return 1;
    }
  }
  char* file_name = GetTheFileName();
  char* install_dir = GetSaveFilePath();
  if (file_name != NULL && install_dir != NULL) {
    printf("update file: %s\ninstall directory: %s\n", file_name, install_dir);
  }
  CoTaskMemFree(file_name);
  CoTaskMemFree(install_dir);
  if (file_name == NULL || install_dir == NULL) return 1;

  int cursor = 1;
  for (;;) {
    SoftwareInforRecord offered;
    int result = GetTheUpdateSoftwareInforFromIni(&cursor, &offered);
    if (result == POVUPDATE_OK && cursor == -1) return 0; /* the end; offered is untouched */
    if (result == POVUPDATE_OK) {
      result = CheckItem(&offered);
      ReleaseRecord(&offered);
    }
    if (result != POVUPDATE_OK) {
      fprintf(stderr, "PovUpdate error %d\n", result);
      return 1;
    }
  }
}
