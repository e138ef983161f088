"""PovUpdate for Python hosts, through ctypes.

The library is loaded on first use: the Linux library (libpovupdate.so.1) or
the Windows DLL (PovUpdate.dll), first from this package's directory, then
wherever the system looks for libraries; POVUPDATE_LIBRARY names the one
file to load instead. Every text the library hands out is copied into a str
and released at once, with free() on Linux and CoTaskMemFree on Windows.

On Linux the library looks for its files in a module directory and names
them after a system version: give both with configure() (or the variables
POVUPDATE_MODULE_DIR and POVUPDATE_OS_VERSION) before the first call, or it
reads the interpreter's directory and Update_0.0.ini, and the first
install_path() stores the interpreter's directory + "/Install" for every
host.
"""
from __future__ import annotations

import ctypes
import dataclasses
import os
import sys
import threading
from typing import Callable, Dict, Iterator, List, Optional, Tuple, Type, Union

__all__ = ["UpdateEntry", "PovUpdateError", "UntrustedUpdateFileError", "configure", "update_entries", "local_version",
           "record_version", "install_path", "set_install_path", "update_file_name",
           "delete_update_file"]

_WINDOWS = sys.platform == "win32"
_LIBRARY_NAME = "PovUpdate.dll" if _WINDOWS else "libpovupdate.so.1"
# The library's texts are in the system's ANSI code page on Windows, UTF-8 on
# Linux; bytes that aren't UTF-8 survive a round trip as surrogates.
_ENCODING, _ERRORS = ("mbcs", "strict") if _WINDOWS else ("utf-8", "surrogateescape")

# SetSaveFilePath may append a separator and "Install" in the caller's buffer.
_INSTALL_ROOM = 8

# The sentence of each result code, as povupdate.h gives it; tests/facts_check.py
# holds this copy, the record's fields and _INSTALL_ROOM to the library's.
_MESSAGES: Dict[int, str] = {
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
    51: "SetSaveFilePath was given a null path",
    52: "the install key can't be created",
    53: "the install path would pass 259 characters",
    55: "no memory for a 260-byte working block",
    60: "PovUpdate.pub is present and the update file is not signed by one of its keys for its name, has expired, or the key file is damaged",
}


class PovUpdateError(Exception):
    """A call failed. .code is the library's result code, None when the
    library gave none (a text export returned no text, or the library can't
    be loaded); .message says what failed."""

    def __init__(self, code: Optional[int], message: Optional[str] = None) -> None:
        if message is None:
            message = _MESSAGES.get(code, "unknown result code") if code is not None else "failed"
        super().__init__(f"PovUpdate error {code}: {message}" if code is not None else message)
        self.code = code
        self.message = message


class UntrustedUpdateFileError(PovUpdateError):
    """Result 60: the host ships PovUpdate.pub and the update file is not to be
    believed. Install nothing, tell the user, try again later."""


# The error class of each result code that has one of its own; any other code
# raises PovUpdateError itself.
_ERROR_CLASSES: Dict[int, Type[PovUpdateError]] = {60: UntrustedUpdateFileError}


@dataclasses.dataclass(frozen=True)
class UpdateEntry:
    """One entry of the update list, or the texts of a local item (only
    Name and Version set). The field names are the update file's keys."""

    Name: str
    Version: str
    DownLoadPath: str
    MD5: str
    InstallType: str
    InstallPath: str
    InstallParmeter: str
    Size: str


_FIELDS: Tuple[str, ...] = tuple(field.name for field in dataclasses.fields(UpdateEntry))


class _Record(ctypes.Structure):
    # Pointers, not c_char_p: ctypes would copy a c_char_p field and lose the
    # block, which must be released.
    _fields_ = [(field, ctypes.c_void_p) for field in _FIELDS]


class _WritableText:
    """The argument type of SetSaveFilePath, which writes into the text: a
    ctypes buffer only. ctypes would pass bytes too, and the library would
    write past their end."""

    @classmethod
    def from_param(cls, value: object) -> object:
        if not isinstance(value, ctypes.Array) or value._type_ is not ctypes.c_char:
            raise TypeError("SetSaveFilePath needs a ctypes.create_string_buffer with room")
        return value


class _Library:
    """The loaded library with its exports declared, and the function that
    releases the texts it hands out."""

    def __init__(self, library: ctypes.CDLL, release: Callable[[int], None]) -> None:
        self.exports = library
        self.release = release
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


_loaded: Optional[_Library] = None
_loading = threading.Lock()


def _places() -> List[str]:
    named = os.environ.get("POVUPDATE_LIBRARY")
    if named:
        return [named]
    return [os.path.join(os.path.dirname(os.path.abspath(__file__)), _LIBRARY_NAME), _LIBRARY_NAME]


def _open() -> _Library:
    failures = []
    for place in _places():
        try:
            library = ctypes.CDLL(place)  # every export is __cdecl
        except OSError as error:
            where = place if os.sep in place else f"{place} on the system's library path"
            failures.append(f"{where} ({error})")
            continue
        if sys.platform == "win32":
            release = ctypes.WinDLL("ole32").CoTaskMemFree
        else:
            # The process's free, as the library's malloc is the process's:
            # one that a preloaded allocator replaces, not necessarily libc's.
            release = ctypes.CDLL(None).free
        release.argtypes = [ctypes.c_void_p]
        release.restype = None
        return _Library(library, release)
    raise PovUpdateError(None, "the PovUpdate library can't be loaded; looked for "
                         + "; ".join(failures))


def _library() -> _Library:
    global _loaded
    with _loading:
        if _loaded is None:
            _loaded = _open()
        return _loaded


def configure(module_dir: Union[str, "os.PathLike[str]", None] = None,
              os_version: Optional[str] = None,
              registry_dir: Union[str, "os.PathLike[str]", None] = None) -> None:
    """Settings of the Linux library, given before the first call: the
    directory that holds the configuration files, the system version
    ("6.1") that names them, and the directory of the registry store. They
    stand for POVUPDATE_MODULE_DIR, POVUPDATE_OS_VERSION and
    POVUPDATE_REGISTRY_DIR, which they set; a setting not given keeps its
    variable. Raises PovUpdateError once the library is loaded, as it has
    taken its settings then, and on Windows, where they don't exist."""
    settings = {
        "POVUPDATE_MODULE_DIR": _text("module_dir", module_dir, path=True, optional=True),
        "POVUPDATE_OS_VERSION": _text("os_version", os_version, optional=True),
        "POVUPDATE_REGISTRY_DIR": _text("registry_dir", registry_dir, path=True, optional=True),
    }
    if _WINDOWS:
        raise PovUpdateError(None, "configure() is for the Linux library; the Windows DLL "
                             "takes its settings from Windows")
    with _loading:
        if _loaded is not None:
            raise PovUpdateError(None, "configure() must come before the first call")
        for variable, value in settings.items():
            if value is not None:
                os.environ[variable] = value


def _text(argument: str, value: object, path: bool = False, optional: bool = False) -> Optional[str]:
    """The argument as text, checked before any call: a str (or, for a path,
    an os.PathLike that gives one) without NUL, which would cut it short."""
    if value is None and optional:
        return None
    if path and isinstance(value, os.PathLike):
        value = os.fspath(value)
    if not isinstance(value, str):
        kind = "a str or os.PathLike" if path else "a str"
        raise TypeError(f"{argument} must be {kind}, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{argument} holds a NUL character")
    return value


def _encode(argument: str, value: object, path: bool = False) -> bytes:
    text = _text(argument, value, path)
    assert text is not None
    try:
        return text.encode(_ENCODING, _ERRORS)
    except UnicodeEncodeError as error:
        raise ValueError(f"{argument} can't be written in the library's code page: {error}") from None


def _decode(data: bytes) -> str:
    return data.decode(_ENCODING, _ERRORS)


def _take_bytes(library: _Library, pointer: Optional[int]) -> Optional[bytes]:
    """The text at pointer, copied; the block is released."""
    if not pointer:
        return None
    data = ctypes.string_at(pointer)
    library.release(pointer)
    return data


def _take_record(library: _Library, record: _Record) -> UpdateEntry:
    """The eight texts of a record the library filled, all released before
    any is decoded."""
    texts = [_take_bytes(library, getattr(record, field)) for field in _FIELDS]
    return UpdateEntry(*("" if data is None else _decode(data) for data in texts))


def _check(code: int) -> None:
    if code != 0:
        raise _ERROR_CLASSES.get(code, PovUpdateError)(code)


def update_entries() -> Iterator[UpdateEntry]:
    """The update file's entries, one UpdateEntry at a time; every call reads
    the file afresh, so a host may stop and start again at any point."""
    library = _library()
    cursor = ctypes.c_int(1)
    while True:
        record = _Record()
        _check(library.exports.GetTheUpdateSoftwareInforFromIni(ctypes.byref(cursor),
                                                                ctypes.byref(record)))
        if cursor.value == -1:
            return
        yield _take_record(library, record)


def local_version(name: str) -> str:
    """The version recorded for the item name, "" when none is."""
    data = _encode("name", name)
    library = _library()
    record = _Record()
    _check(library.exports.GetTheLocalSoftwareInforFromIni(data, ctypes.byref(record)))
    return _take_record(library, record).Version


def record_version(name: str, version: str) -> None:
    """Records version as the installed version of the item name."""
    name_text = ctypes.create_string_buffer(_encode("name", name))
    version_text = ctypes.create_string_buffer(_encode("version", version))
    library = _library()
    record = _Record(Name=ctypes.addressof(name_text), Version=ctypes.addressof(version_text))
    _check(library.exports.UpdateLocalSoftwareInforToIni(ctypes.byref(record)))


def _text_or_error(library: _Library, pointer: Optional[int], function: str) -> str:
    data = _take_bytes(library, pointer)
    if data is None:
        raise PovUpdateError(None, f"{function} returned no text")
    return _decode(data)


def install_path() -> str:
    """The install directory; the first call on a machine stores the default,
    the host's directory followed by "Install", for every host."""
    library = _library()
    return _text_or_error(library, library.exports.GetSaveFilePath(), "GetSaveFilePath")


def set_install_path(path: Union[str, "os.PathLike[str]"]) -> str:
    """Stores path as the install directory and returns the text stored: path
    itself when its last component is "Install", else path extended by it."""
    data = _encode("path", path, path=True)
    library = _library()
    buffer = ctypes.create_string_buffer(data, len(data) + 1 + _INSTALL_ROOM)
    _check(library.exports.SetSaveFilePath(buffer))
    return _decode(buffer.value)


def update_file_name() -> str:
    """The update file's bare name, for example "Update_6.1.ini"."""
    library = _library()
    return _text_or_error(library, library.exports.GetTheFileName(), "GetTheFileName")


def delete_update_file() -> None:
    """Deletes the update file; reports nothing."""
    _library().exports.DeleteTheUpdateFile()
