"""The Python binding over the Linux library, each test in a directory and
registry store of its own. POVUPDATE_LIBRARY names the library to load,
POVUPDATE_SOURCE_DIR the repository."""
import ctypes
import os
import re
import subprocess
import sys

import pytest

SOURCE_DIR = os.environ["POVUPDATE_SOURCE_DIR"]
sys.path.insert(0, os.path.join(SOURCE_DIR, "bindings", "python"))
import povupdate  # noqa: E402

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
        povupdate._library.SetSaveFilePath(b"/opt/pov")


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


def test_no_install_path_raises(module_dir, monkeypatch):
    # A file where the registry store's directory should be: no key can be had.
    (module_dir / "not-a-directory").write_text("")
    monkeypatch.setenv("POVUPDATE_REGISTRY_DIR", str(module_dir / "not-a-directory"))
    with pytest.raises(povupdate.PovUpdateError) as failure:
        povupdate.install_path()
    assert failure.value.code is None


@pytest.mark.parametrize("document", ["README.md", "docs/HOST-GUIDE.md"])
def test_the_messages_are_the_documents(document):
    with open(os.path.join(SOURCE_DIR, document), encoding="utf-8") as text:
        rows = re.findall(r"^\| (\d+) \| `POVUPDATE_\w+` \| (.*) \|$", text.read(), re.M)
    assert {int(code): text for code, text in rows if code != "0"} == povupdate._MESSAGES


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
