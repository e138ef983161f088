"""PovUpdate for Python hosts, through ctypes.

Loads the Linux library (libpovupdate.so.1) or the Windows DLL
(PovUpdate.dll); POVUPDATE_LIBRARY names another file to load. Every text
the library hands out is copied into a str and released at once, with free()
on Linux and CoTaskMemFree on Windows.

On Linux the library looks for its files in POVUPDATE_MODULE_DIR and names
them after POVUPDATE_OS_VERSION: set both before the first call, or it reads
the interpreter's directory and Update_0.0.ini, and the first install_path()
stores the interpreter's directory + "/Install" for every host.
"""
import collections
import ctypes
import os
import sys

__all__ = ["UpdateEntry", "PovUpdateError", "UntrustedUpdateFileError", "update_entries", "local_version", "record_version",
           "install_path", "set_install_path", "update_file_name", "delete_update_file"]

_WINDOWS = sys.platform == "win32"
# The library's texts are in the system's ANSI code page on Windows, UTF-8 on
# Linux; bytes that aren't UTF-8 survive a round trip as surrogates.
_ENCODING, _ERRORS = ("mbcs", "strict") if _WINDOWS else ("utf-8", "surrogateescape")

# SetSaveFilePath may append a separator and "Install" in the caller's buffer.
_INSTALL_ROOM = 8

_FIELDS = ("Name", "Version", "DownLoadPath", "MD5", "InstallType", "InstallPath",
           "InstallParmeter", "Size")

UpdateEntry = collections.namedtuple("UpdateEntry", _FIELDS)

# The README's sentence for each result code.
_MESSAGES = {
    1: "enumeration cursor below 1",
    2: "the index lookup read nothing but left text",
    4: "no memory for a value read buffer, or for the profile service's read",
    6: "no memory for a copy of a value or a record field",
    10: "internal: value-slot index outside 0 to 7",
    11: "null pointer, a name or version the file can't hold as given, or no memory to copy it",
    12: "no memory for a copy of the section name",
    13: "the local configuration file refused the write",
    21: "internal: registry path without a root digit (read, write)",
    22: "a registry key can't be opened or created",
    23: "internal: registry path without a root digit (create)",
    24: "the registry refused to store the value",
    40: "no memory for a probed registry value",
    44: "a registry value can't be read",
    51: "`SetSaveFilePath` was given a null path",
    52: "the install key can't be created",
    53: "the install path would pass 259 characters",
    55: "no memory for a 260-byte working block",
    60: "PovUpdate.pub is present and the update file is not signed by one of its keys for its name, has expired, or the key file is damaged",
}


class PovUpdateError(Exception):
    """A call failed: .code is the library's result code, None when a text
    export returned no text (it gives no reason)."""

    def __init__(self, code, message=None):
        if message is None:
            message = _MESSAGES.get(code, "unknown result code")
        super().__init__(f"PovUpdate error {code}: {message}" if code is not None else message)
        self.code = code
        self.message = message


class UntrustedUpdateFileError(PovUpdateError):
    """Result 60: the host ships PovUpdate.pub and the update file is not to be
    believed. Install nothing, tell the user, try again later."""

    CODE = 60


class _Record(ctypes.Structure):
    # Pointers, not c_char_p: ctypes would copy a c_char_p field and lose the
    # block, which must be released.
    _fields_ = [(field, ctypes.c_void_p) for field in _FIELDS]


class _WritableText:
    """The argument type of SetSaveFilePath, which writes into the text: a
    ctypes buffer only. ctypes would pass bytes too, and the library would
    write past their end."""

    @classmethod
    def from_param(cls, value):
        if not isinstance(value, ctypes.Array) or value._type_ is not ctypes.c_char:
            raise TypeError("SetSaveFilePath needs a ctypes.create_string_buffer with room")
        return value


def _load():
    name = os.environ.get("POVUPDATE_LIBRARY") or ("PovUpdate.dll" if _WINDOWS else "libpovupdate.so.1")
    library = ctypes.CDLL(name)  # every export is __cdecl
    if _WINDOWS:
        release = ctypes.windll.ole32.CoTaskMemFree
    else:
        # The process's free, as the library's malloc is the process's: one
        # that a preloaded allocator replaces, not necessarily libc's own.
        release = ctypes.CDLL(None).free
    release.argtypes = [ctypes.c_void_p]
    release.restype = None
    signatures = {
        "GetTheUpdateSoftwareInforFromIni": (ctypes.c_int, [ctypes.POINTER(ctypes.c_int),
                                                            ctypes.POINTER(_Record)]),
        "GetTheLocalSoftwareInforFromIni": (ctypes.c_int, [ctypes.c_char_p,
                                                           ctypes.POINTER(_Record)]),
        "UpdateLocalSoftwareInforToIni": (ctypes.c_int, [ctypes.POINTER(_Record)]),
        "DeleteTheUpdateFile": (None, []),
        "GetSaveFilePath": (ctypes.c_void_p, []),
        "SetSaveFilePath": (ctypes.c_int, [_WritableText]),
        "GetTheFileName": (ctypes.c_void_p, []),
    }
    for function, (restype, argtypes) in signatures.items():
        export = getattr(library, function)
        export.restype = restype
        export.argtypes = argtypes
    return library, release


_library, _release = _load()


def _encode(text):
    return text.encode(_ENCODING, _ERRORS)


def _decode(data):
    return data.decode(_ENCODING, _ERRORS)


def _take_bytes(pointer):
    """The text at pointer, copied; the block is released."""
    if not pointer:
        return None
    data = ctypes.string_at(pointer)
    _release(pointer)
    return data


def _take_text(pointer):
    data = _take_bytes(pointer)
    return None if data is None else _decode(data)


def _take_record(record):
    """The eight texts of a record the library filled, all released before
    any is decoded."""
    texts = [_take_bytes(getattr(record, field)) for field in _FIELDS]
    return UpdateEntry(*(None if data is None else _decode(data) for data in texts))


def _check(code):
    if code == UntrustedUpdateFileError.CODE:
        raise UntrustedUpdateFileError(code)
    if code != 0:
        raise PovUpdateError(code)


def update_entries():
    """The update file's entries, one UpdateEntry at a time; every call reads
    the file afresh, so a host may stop and start again at any point."""
    cursor = ctypes.c_int(1)
    while True:
        record = _Record()
        _check(_library.GetTheUpdateSoftwareInforFromIni(ctypes.byref(cursor), ctypes.byref(record)))
        if cursor.value == -1:
            return
        yield _take_record(record)


def local_version(name):
    """The version recorded for the item name, "" when none is."""
    record = _Record()
    _check(_library.GetTheLocalSoftwareInforFromIni(_encode(name), ctypes.byref(record)))
    return _take_record(record).Version


def record_version(name, version):
    """Records version as the installed version of the item name."""
    name_text = ctypes.create_string_buffer(_encode(name))
    version_text = ctypes.create_string_buffer(_encode(version))
    record = _Record(Name=ctypes.addressof(name_text), Version=ctypes.addressof(version_text))
    _check(_library.UpdateLocalSoftwareInforToIni(ctypes.byref(record)))


def _text_or_error(pointer, function):
    text = _take_text(pointer)
    if text is None:
        raise PovUpdateError(None, f"{function} returned no text")
    return text


def install_path():
    """The install directory; the first call on a machine stores the default,
    the host's directory followed by "Install", for every host."""
    return _text_or_error(_library.GetSaveFilePath(), "GetSaveFilePath")


def set_install_path(path):
    """Stores path as the install directory and returns the text stored: path
    itself when its last component is "Install", else path extended by it."""
    data = _encode(path)
    buffer = ctypes.create_string_buffer(data, len(data) + 1 + _INSTALL_ROOM)
    _check(_library.SetSaveFilePath(buffer))
    return _decode(buffer.value)


def update_file_name():
    """The update file's bare name, for example "Update_6.1.ini"."""
    return _text_or_error(_library.GetTheFileName(), "GetTheFileName")


def delete_update_file():
    """Deletes the update file; reports nothing."""
    _library.DeleteTheUpdateFile()
