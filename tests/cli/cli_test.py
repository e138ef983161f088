#!/usr/bin/env python3
"""Runs every povupdate command on a private copy of the example files.

Usage: cli_test.py POVUPDATE EXAMPLES_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

POVUPDATE = ""
EXAMPLES = ""


class PovupdateTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="povupdate-cli-")
        self.addCleanup(shutil.rmtree, self.dir)
        for name in ("Update_6.1.ini", "PovConfig_6.1.ini"):
            shutil.copy(os.path.join(EXAMPLES, name), self.dir)
        self.update_file = os.path.join(self.dir, "Update_6.1.ini")
        # Nothing of the user's: files, registry and configuration all
        # live in the test's directory.
        self.env = dict(os.environ,
                        POVUPDATE_MODULE_DIR=self.dir,
                        POVUPDATE_OS_VERSION="6.1",
                        POVUPDATE_REGISTRY_DIR=os.path.join(self.dir, "registry"),
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"))

    def run_cli(self, *args, status=0):
        result = subprocess.run([POVUPDATE, *args], env=self.env, capture_output=True,
                                text=True, timeout=60)
        self.assertEqual(result.returncode, status,
                         f"povupdate {' '.join(args)}\n{result.stdout}{result.stderr}")
        return result

    def json(self, *args, status=0):
        return json.loads(self.run_cli(*args, "--json", status=status).stdout)

    def write_update_file(self, lines):
        with open(self.update_file, "w", newline="") as file:
            file.write("\r\n".join(lines) + "\r\n")

    def test_help_and_version(self):
        self.assertIn("1.0.0", self.run_cli("--version").stdout)
        for command in (["file-name"], ["delete-update-file"], ["list"], ["local"],
                        ["local", "get"], ["local", "set"], ["status"], ["install-path"],
                        ["install-path", "set"], ["check"]):
            self.assertIn("Usage", self.run_cli(*command, "--help").stdout)
        self.assertIn("subcommand is required", self.run_cli(status=106).stderr)

    def test_file_name(self):
        self.assertEqual(self.run_cli("file-name").stdout, "Update_6.1.ini\n")
        self.assertEqual(self.json("file-name"), {"FileName": "Update_6.1.ini"})

    def test_list_delivers_every_entry_with_all_fields(self):
        entries = self.json("list")
        self.assertEqual([e["Name"] for e in entries],
                         ["PovViewer", "PovCodecPack", "PovHelp", "PovTools", "PovLegacyPlugin"])
        for entry in entries:
            self.assertEqual(list(entry), ["Name", "Version", "DownLoadPath", "MD5", "InstallType",
                                           "InstallPath", "InstallParmeter", "Size"])
        viewer, _, help_entry, tools, legacy = entries
        self.assertEqual(viewer["InstallPath"], "/Program Files\\PovViewer")
        self.assertEqual(help_entry["MD5"], "")
        self.assertEqual(tools["InstallParmeter"], "/quiet /dir=D:\\Pov\\Tools")
        self.assertEqual(set(legacy.values()), {"PovLegacyPlugin", ""})
        text = self.run_cli("list").stdout
        self.assertIn("InstallParmeter  /S /NORESTART\n", text)
        self.assertEqual(text.count("\n\nName "), 4)

    def test_status_compares_offered_and_recorded_versions(self):
        rows = {row["Name"]: row for row in self.json("status")}
        self.assertEqual(rows["PovViewer"]["State"], "update available")  # 2.4.10 over 2.4.9
        self.assertEqual(rows["PovCodecPack"]["State"], "up to date")
        self.assertEqual(rows["PovHelp"]["State"], "not installed")
        self.assertEqual(rows["PovTools"]["State"], "update available")
        self.assertTrue(rows["PovTools"]["ComparedAsText"])
        self.assertFalse(rows["PovViewer"]["ComparedAsText"])
        self.run_cli("local", "set", "PovCodecPack", "1.10")
        self.assertIn("newer installed", self.run_cli("status").stdout)
        self.assertIn("update available (compared as text)", self.run_cli("status").stdout)

    def test_local_versions_round_trip(self):
        self.assertEqual(self.run_cli("local", "get", "PovViewer").stdout, "2.4.9\n")
        self.assertEqual(self.json("local", "get", "Unknown"), {"Name": "Unknown", "Version": ""})
        self.run_cli("local", "set", "PovHelp", "3.1")
        self.assertEqual(self.run_cli("local", "get", "povhelp").stdout, "3.1\n")
        failed = self.run_cli("local", "set", "PovHelp", "3.2\nVersion=0", status=11)
        self.assertIn("result 11", failed.stderr)
        self.assertEqual(failed.stdout, "")

    def test_install_path_default_and_set(self):
        default = os.path.join(self.dir, "Install")
        self.assertEqual(self.run_cli("install-path").stdout, default + "\n")
        apps = os.path.join(self.dir, "apps")
        self.assertEqual(self.run_cli("install-path", "set", apps).stdout, apps + "/Install\n")
        self.assertEqual(self.json("install-path"), {"InstallPath": apps + "/Install"})
        failed = self.run_cli("install-path", "set", "/" + "d" * 260, status=53)
        self.assertIn("259 characters", failed.stderr)
        self.assertEqual(self.json("install-path"), {"InstallPath": apps + "/Install"})

    def test_delete_update_file_empties_the_list(self):
        self.run_cli("delete-update-file")
        self.assertFalse(os.path.exists(self.update_file))
        self.assertEqual(self.json("list"), [])
        self.assertEqual(self.json("status"), [])

    def test_check_reports_the_example_missing_section(self):
        findings = self.json("check", status=1)
        self.assertEqual([(f["line"], f["severity"]) for f in findings], [(9, "error")])
        self.assertIn("[PovLegacyPlugin]", findings[0]["message"])
        self.assertIn(self.update_file + ":9: error:", self.run_cli("check", status=1).stdout)

    def test_check_on_a_broken_file(self):
        self.write_update_file(["[SOFTWARE]", "1=A", "3=B", "[A]", "InstallParameter=/S",
                                "MD5=123", "Size=1 MB", "[A]", "[B]"])
        findings = self.json("check", self.update_file, status=1)
        self.assertEqual([(f["line"], f["severity"]) for f in findings],
                         [(3, "error"), (5, "warning"), (6, "error"), (7, "error"),
                          (8, "warning")])
        self.assertIn("'InstallParmeter'", findings[1]["message"])

    def test_check_passes_warnings_and_fails_unreadable_files(self):
        self.write_update_file(["[SOFTWARE]", "1=A", "[A]", "Version=1", "Homepage=x"])
        self.assertEqual(len(self.json("check")), 1)
        missing = os.path.join(self.dir, "missing.ini")
        self.assertEqual(self.json("check", missing, status=1)[0]["line"], 0)


if __name__ == "__main__":
    POVUPDATE, EXAMPLES = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
