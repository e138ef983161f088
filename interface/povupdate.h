/*
 * PovUpdate: the update list, installed versions and install directory of
 * an update program (the host).
 *
 * Calling convention: every function is __cdecl and may be called from any
 * thread, from several at once.
 *
 * State and locks: the library's own logic keeps nothing between calls. A
 * write waits while other processes write the same file and fails once held
 * up for 5 seconds: on Windows a named mutex per file serialises the writes,
 * on Linux a lock of the file's directory (flock), and there 5 seconds in
 * which none of the writers gets on. On Linux the profile service, like
 * Windows' own, keeps the files it parsed last (at most 256 MiB per process)
 * and checks them against the disk at every call, so each call sees every
 * file as it is then.
 *
 * Stack: a call reaches up to 10 KB into the calling thread's stack, the C
 * library and the system's services included (measured on Linux and under
 * Wine: bench/results/results.md).
 *
 * Ownership: every text the library hands out (a returned char*, a field of a
 * record it fills) is a new block that the host owns from then on and must
 * release itself:
 *   - Windows: with CoTaskMemFree (ole32.dll), whatever compiler or runtime
 *     the host uses.
 *   - Linux: with free().
 * A .NET or Python host takes the texts as pointers (IntPtr, c_void_p), not
 * as strings, and releases them so: docs/HOST-GUIDE.md and bindings/.
 * Texts the host passes in stay the host's; the library copies what it needs.
 *
 * Texts are NUL-terminated 8-bit strings in the system's ANSI code page
 * (UTF-8 on Linux).
 *
 * Files: the update file Update_<v>.ini and the local configuration file
 * PovConfig_<v>.ini, where <v> is the operating system's version as
 * major.minor (6.1, 10.0; 0.0 when it can't be had), both in the directory of
 * the host executable. On Linux, POVUPDATE_MODULE_DIR names that directory
 * instead when set, and POVUPDATE_OS_VERSION gives the version.
 */
#ifndef POVUPDATE_H
#define POVUPDATE_H

#if defined(_WIN32)
#define POVUPDATE_CALL __cdecl
#if defined(POVUPDATE_BUILD)
#define POVUPDATE_API
#else
#define POVUPDATE_API __declspec(dllimport)
#endif
#else
#define POVUPDATE_CALL
#define POVUPDATE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * One software item. The library fills all eight fields with new texts (never
 * null) and stores them without reading or releasing what the fields held:
 * a host that reuses a record releases the earlier texts first.
 */
typedef struct SoftwareInforRecord {
  char* Name;            /* the profile section that describes the item */
  char* Version;         /* "Version" */
  char* DownLoadPath;    /* "DownLoadPath" */
  char* MD5;             /* "MD5" */
  char* InstallType;     /* "InstallType" */
  char* InstallPath;     /* "InstallPath"; a leading "1" stands for the system drive's root */
  char* InstallParmeter; /* "InstallParmeter" (spelt so in the files) */
  char* Size;            /* "Size" */
} SoftwareInforRecord;

/*
 * Result codes: each code's number, name and meaning, in this one table that
 * povupdate, the bindings and the documentation take theirs from. 0 is
 * success; every other code names one failure; "internal" marks a fault of
 * the library itself.
 */
enum {
  /* success (also: the update list is exhausted, cursor -1) */
  POVUPDATE_OK = 0,
  /* enumeration cursor below 1 */
  POVUPDATE_BAD_CURSOR = 1,
  /* the index lookup read nothing but left text */
  POVUPDATE_INDEX_UNREADABLE = 2,
  /* no memory for a value read buffer, or for the profile service's read */
  POVUPDATE_NO_READ_BUFFER = 4,
  /* no memory for a copy of a value or a record field */
  POVUPDATE_NO_VALUE_COPY = 6,
  /* internal: value-slot index outside 0 to 7 */
  POVUPDATE_BAD_SLOT = 10,
  /* null pointer, a name or version the file can't hold as given, or no memory to copy it */
  POVUPDATE_BAD_ARGUMENT = 11,
  /* no memory for a copy of the section name */
  POVUPDATE_NO_NAME_COPY = 12,
  /* the local configuration file refused the write */
  POVUPDATE_WRITE_FAILED = 13,
  /* internal: registry path without a root digit (read, write) */
  POVUPDATE_BAD_REGISTRY_PATH = 21,
  /* a registry key can't be opened or created */
  POVUPDATE_KEY_UNAVAILABLE = 22,
  /* internal: registry path without a root digit (create) */
  POVUPDATE_BAD_REGISTRY_ROOT = 23,
  /* the registry refused to store the value */
  POVUPDATE_VALUE_REFUSED = 24,
  /* no memory for a probed registry value */
  POVUPDATE_NO_PROBE_BLOCK = 40,
  /* a registry value can't be read */
  POVUPDATE_VALUE_UNREADABLE = 44,
  /* SetSaveFilePath was given a null path */
  POVUPDATE_NULL_PATH = 51,
  /* the install key can't be created */
  POVUPDATE_INSTALL_KEY_FAILED = 52,
  /* the install path would pass 259 characters */
  POVUPDATE_PATH_TOO_LONG = 53,
  /* no memory for a 260-byte working block */
  POVUPDATE_NO_WORK_BLOCK = 55,
  /* PovUpdate.pub is present and the update file is not signed by one of its keys for its name,
     has expired, or the key file is damaged */
  POVUPDATE_UNTRUSTED_UPDATE_FILE = 60
};

/*
 * Ordinal 1. Delivers the update-file entry that *cursor numbers (1 is the
 * first) into *record and advances *cursor. At the end of the list returns 0
 * with *cursor = -1 and the record untouched. Returns 1 for a cursor below 1,
 * 11 for a null cursor or record, 4 when the file can't be read for want of
 * memory; on any failure *cursor and the record are left as they were.
 *
 * Signed update files: when the host's directory holds PovUpdate.pub (PEM
 * public keys, ECDSA P-256), the file is walked only when one of those keys
 * signed it, its signature names this update file and it has not expired;
 * otherwise, and whenever the key file can't be read or is damaged, the call
 * returns 60 (POVUPDATE_UNTRUSTED_UPDATE_FILE): install nothing, tell the
 * user, try again later. A missing update file is still the end of the list.
 * The system's cryptography is loaded then only (Linux: libcrypto.so.3;
 * Windows: bcrypt.dll and crypt32.dll from the system directory).
 */
POVUPDATE_API int POVUPDATE_CALL GetTheUpdateSoftwareInforFromIni(int* cursor,
                                                                  SoftwareInforRecord* record);

/*
 * Ordinal 2. Fills *record with the version recorded for the item `name` in
 * the local configuration file: Name is a copy of `name`, Version the
 * recorded version ("" when none), the other six fields "". The file is
 * never created or changed. Returns 11 for a null name or record, 4 when
 * the file can't be read for want of memory.
 */
POVUPDATE_API int POVUPDATE_CALL GetTheLocalSoftwareInforFromIni(const char* name,
                                                                 SoftwareInforRecord* record);

/*
 * Ordinal 3. Records record->Version as the version of the item
 * record->Name in the local configuration file, creating the file or the
 * item's section when missing; nothing else in the file changes. Only Name
 * and Version are read (the other fields may be null); the record is not
 * changed. Returns 11 for a null record, Name or Version, for one holding a
 * line break, for a Name no section header can hold (one holding "]" or,
 * without its outer spaces, starting or ending with a tab or vertical tab),
 * and for a Name or Version a UTF-16 file can't hold as it is (Linux: one
 * that isn't UTF-8); 13 when the file refuses the write or is too large to
 * be read whole (4 GiB).
 */
POVUPDATE_API int POVUPDATE_CALL UpdateLocalSoftwareInforToIni(const SoftwareInforRecord* record);

/* Ordinal 4. Deletes the update file, read-only or not. Reports nothing. */
POVUPDATE_API void POVUPDATE_CALL DeleteTheUpdateFile(void);

/*
 * Ordinal 5. The install directory, from the registry value "InstallPath"
 * under HKEY_LOCAL_MACHINE\SOFTWARE\DravuPovUpdate. When it can't be read,
 * the default (the host's directory followed by "Install") is stored and
 * returned. Null when the setting can't be had. The host owns the text.
 */
POVUPDATE_API char* POVUPDATE_CALL GetSaveFilePath(void);

/*
 * Ordinal 6. Stores `path` as the install directory. When its last
 * component is not "Install" (in any case), the library appends a separator
 * and "Install" to the host's buffer itself: the buffer must have room for
 * 8 more characters. Returns 51 for a null path, 52 when the install key
 * can't be created, 53 when the path would pass 259 characters, 22 when the
 * key can't be opened for writing, 24 when the registry refuses the value.
 */
POVUPDATE_API int POVUPDATE_CALL SetSaveFilePath(char* path);

/*
 * Ordinal 7. The update file's bare name, for example "Update_6.1.ini".
 * Null when no memory is left. The host owns the text.
 */
POVUPDATE_API char* POVUPDATE_CALL GetTheFileName(void);

#ifdef __cplusplus
}
#endif

#endif /* POVUPDATE_H */
