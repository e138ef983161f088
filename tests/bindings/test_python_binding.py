"""The Python package over the Linux library, as installed into a virtual
environment, each test in a directory and registry store of its own.
POVUPDATE_LIBRARY names the library to load, POVUPDATE_SOURCE_DIR the
repository."""
import ctypes
import os
import pathlib
import subprocess
import sys

import pytest

import povupdate

SOURCE_DIR = os.environ["POVUPDATE_SOURCE_DIR"]

UPDATE_FILE = "\r\n".join([
    "[SOFTWARE]", "1=PovViewer", "2=PovHelp", "",
    "[PovViewer]", "Version=2.4.10", "DownLoadPath=https://updates.example.com/PovViewer.exe",
    "MD5=9e107d9d372bb6826bd81d3542a419d6", "InstallType=exe", "InstallPath=1opt/PovViewer",
    "InstallParmeter=/S", "Size=18874368", "",
    "[PovHelp]", "Version=3.1", ""])


@pytest.fixture(autouse=True)
def module_dir(tmp_path, monkeypatch):
    monkeypatch.setenv("POVUPDATE_MODULE_DIR", str(tmp_path))
    monkeypatch.setenv("POVUPDATE_OS_VERSION", "6.1")
    monkeypatch.setenv("POVUPDATE_REGISTRY_DIR", str(tmp_path / "registry"))
    (tmp_path / "Update_6.1.ini").write_bytes(UPDATE_FILE.encode())
    return tmp_path


def test_update_entries_delivers_each_entry_with_eight_texts():
    entries = list(povupdate.update_entries())
    assert entries == [
        povupdate.UpdateEntry("PovViewer", "2.4.10", "https://updates.example.com/PovViewer.exe",
                              "9e107d9d372bb6826bd81d3542a419d6", "exe", "/opt/PovViewer", "/S",
                              "18874368"),
        povupdate.UpdateEntry("PovHelp", "3.1", "", "", "", "", "", ""),
    ]
    assert entries[0].InstallParmeter == "/S"
    assert repr(entries[1]).startswith("UpdateEntry(Name='PovHelp', Version='3.1', ")


def test_update_entries_of_no_update_file_is_empty(module_dir):
    povupdate.delete_update_file()
    assert not (module_dir / "Update_6.1.ini").exists()
    assert list(povupdate.update_entries()) == []


def test_an_untrusted_update_file_raises_its_own_error(module_dir):
    # An unsigned update file beside a key file: nothing of it is believed.
    (module_dir / "PovUpdate.pub").write_text("")
    with pytest.raises(povupdate.UntrustedUpdateFileError) as failure:
        list(povupdate.update_entries())
    assert failure.value.code == 60
    assert isinstance(failure.value, povupdate.PovUpdateError)


def test_recorded_version_reads_back():
    assert povupdate.local_version("PovViewer") == ""
    povupdate.record_version("PovViewer", "2.4.10")
    assert povupdate.local_version("PovViewer") == "2.4.10"


def test_install_path_stores_the_default_then_the_path_set(module_dir):
    assert povupdate.install_path() == f"{module_dir}/Install"
    assert povupdate.set_install_path("/opt/pov") == "/opt/pov/Install"
    assert povupdate.set_install_path("/opt/pov/INSTALL") == "/opt/pov/INSTALL"
    assert povupdate.install_path() == "/opt/pov/INSTALL"


def test_set_save_file_path_takes_no_bytes():
    with pytest.raises(ctypes.ArgumentError):
        povupdate._library().exports.SetSaveFilePath(b"/opt/pov")


def test_update_file_name():
    assert povupdate.update_file_name() == "Update_6.1.ini"


@pytest.mark.parametrize("call, code", [
    (lambda: povupdate.record_version("Pov\nViewer", "1"), 11),
    (lambda: povupdate.set_install_path("/" + "a" * 252), 53),
])
def test_a_failure_raises_its_code_and_sentence(call, code):
    with pytest.raises(povupdate.PovUpdateError) as failure:
        call()
    assert failure.value.code == code
    assert str(failure.value) == f"PovUpdate error {code}: {povupdate._MESSAGES[code]}"


@pytest.mark.parametrize("call, error", [
    (lambda: povupdate.record_version("a\0b", "1"), ValueError),
    (lambda: povupdate.set_install_path("/opt/a\0b"), ValueError),
    (lambda: povupdate.local_version(None), TypeError),
    (lambda: povupdate.record_version(1, "1"), TypeError),
    (lambda: povupdate.record_version("a", b"1"), TypeError),
    (lambda: povupdate.local_version(pathlib.Path("a")), TypeError),
])
def test_bad_arguments_are_refused_before_any_call(call, error, module_dir):
    with pytest.raises(error):
        call()
    assert not (module_dir / "PovConfig_6.1.ini").exists()
    assert not (module_dir / "registry").exists()


def test_a_path_may_be_a_path_object():
    assert povupdate.set_install_path(pathlib.Path("/opt/pov")) == "/opt/pov/Install"


def run_python(code, **variables):
    environment = {name: value for name, value in os.environ.items()
                   if not name.startswith("POVUPDATE_") or name == "POVUPDATE_LIBRARY"}
    environment.update(variables)
    return subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True,
                          text=True, timeout=60)


def test_configure_comes_before_the_first_call(tmp_path):
    (tmp_path / "Update_5.1.ini").write_bytes(UPDATE_FILE.encode())
    result = run_python(
        "import povupdate\n"
        f"povupdate.configure(module_dir={str(tmp_path)!r}, os_version='5.1',"
        f" registry_dir={str(tmp_path / 'store')!r})\n"
        "print(povupdate.update_file_name(), len(list(povupdate.update_entries())))\n"
        "print(povupdate.install_path())\n"
        "try:\n    povupdate.configure(os_version='6.1')\n"
        "except povupdate.PovUpdateError as error:\n    print(error)\n")
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout == (f"Update_5.1.ini 2\n{tmp_path}/Install\n"
                             "configure() must come before the first call\n")
    assert (tmp_path / "store").is_dir()


def test_a_missing_library_is_an_error_naming_where_it_looked(tmp_path):
    script = ("import povupdate\ntry:\n    povupdate.update_file_name()\n"
              "except povupdate.PovUpdateError as error:\n    print(error)\n")
    named = run_python(script, POVUPDATE_LIBRARY=str(tmp_path / "libnone.so"))
    assert (named.returncode, named.stderr) == (0, "")
    assert named.stdout.startswith(f"the PovUpdate library can't be loaded; looked for {tmp_path}/libnone.so (")
    searched = run_python(script.replace("import povupdate", "import os; os.environ.pop('POVUPDATE_LIBRARY'); import povupdate"),
                          LD_LIBRARY_PATH=str(tmp_path))
    package_dir = os.path.dirname(povupdate.__file__)
    assert f"{package_dir}/libpovupdate.so.1 (" in searched.stdout
    assert "; libpovupdate.so.1 on the system's library path (" in searched.stdout


def test_no_install_path_raises(module_dir, monkeypatch):
    # A file where the registry store's directory should be: no key can be had.
    (module_dir / "not-a-directory").write_text("")
    monkeypatch.setenv("POVUPDATE_REGISTRY_DIR", str(module_dir / "not-a-directory"))
    with pytest.raises(povupdate.PovUpdateError) as failure:
        povupdate.install_path()
    assert failure.value.code is None


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_memory_stays_flat_over_many_calls():
    def calls():
        list(povupdate.update_entries())
        povupdate.local_version("PovViewer")
        povupdate.install_path()
        povupdate.update_file_name()

    for _ in range(1000):
        calls()
    before = resident_bytes()
    for _ in range(10000):  # 60,000 calls; a leak of their texts is several MB
        calls()
    assert resident_bytes() - before < 2 * 1024 * 1024


def test_the_guides_python_example_runs(module_dir):
    example = os.path.join(SOURCE_DIR, "docs", "examples", "host.py")
    environment = dict(os.environ, PYTHONPATH=os.path.join(SOURCE_DIR, "bindings", "python"))
    expected = (f"update file: Update_6.1.ini\ninstall directory: {module_dir}/Install\n"
                "PovViewer: offered 2.4.10, installed none\nPovViewer: recorded 2.4.10\n"
                "PovHelp: offered 3.1, installed none\nPovHelp: recorded 3.1\n")
    for output in (expected, expected.replace("installed none\nPovViewer: recorded 2.4.10",
                                              "installed 2.4.10")
                                     .replace("installed none\nPovHelp: recorded 3.1",
                                              "installed 3.1")):
        result = subprocess.run([sys.executable, example], env=environment, capture_output=True,
                                text=True, timeout=60)
        assert (result.returncode, result.stdout, result.stderr) == (0, output, "")
