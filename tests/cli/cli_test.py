#!/usr/bin/env python3
"""Runs every povupdate command on a private copy of the example files.

Usage: cli_test.py POVUPDATE EXAMPLES_DIR [RUNNER]

With RUNNER (Wine), POVUPDATE is a Windows program: it runs from the test's
directory, which the library then takes its files from, and only the tests
that need no Linux host run.
"""
import functools
import hashlib
import itertools
import json
import os
import re
import resource
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

POVUPDATE = ""
EXAMPLES = ""
RUNNER = ""
SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def help_column(text, section):
    """The first column of one section ("Options", "Subcommands") of a help text."""
    lines = text.split(section + ":\n", 1)[1:]
    rows = lines[0].split("\n\n", 1)[0].splitlines() if lines else []
    return [re.split(r"\s{2,}", row.strip())[0] for row in rows]


def linux_only(test):
    # RUNNER is known only once the arguments are read, after the class is made.
    @functools.wraps(test)
    def run(self):
        if RUNNER:
            self.skipTest("the Linux host's environment")
        test(self)
    return run


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
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_STATE_HOME=os.path.join(self.dir, "state"))
        self.command = [POVUPDATE]
        if RUNNER:
            # Windows finds the library beside the program, and the program
            # its files beside itself.
            shutil.copy(POVUPDATE, self.dir)
            for name in os.listdir(os.path.dirname(POVUPDATE)):
                if name.lower().endswith(".dll"):
                    shutil.copy(os.path.join(os.path.dirname(POVUPDATE), name), self.dir)
            self.command = [RUNNER, os.path.join(self.dir, os.path.basename(POVUPDATE))]
            self.update_file = os.path.join(self.dir, self.run_cli("file-name").stdout.strip())
            shutil.move(os.path.join(self.dir, "Update_6.1.ini"), self.update_file)

    def command_for(self, user):
        # The build tree may lie where another user can't reach it (a
        # checkout in root's home): that user runs a copy, with the library
        # beside it as the program looks for it there first.
        try:
            subprocess.run([*self.command, "--version"], user=user, capture_output=True)
            return self.command
        except PermissionError:
            pass
        copy = os.path.join(self.dir, "bin")
        os.makedirs(copy, mode=0o755, exist_ok=True)
        built = os.path.dirname(POVUPDATE)
        for name in os.listdir(built):
            if name == os.path.basename(POVUPDATE) or name.startswith("libpovupdate.so"):
                shutil.copy(os.path.join(built, name), copy, follow_symlinks=False)
        return [os.path.join(copy, os.path.basename(POVUPDATE))]

    def run_cli(self, *args, status=0, user=None):
        command = self.command_for(user) if user else self.command
        result = subprocess.run([*command, *args], env=self.env, capture_output=True,
                                text=True, errors="replace", timeout=120, user=user)
        if status is not None:
            self.assertEqual(result.returncode, status,
                             f"povupdate {' '.join(args)}\n{result.stdout}{result.stderr}")
        return result

    def json(self, *args, status=0):
        return json.loads(self.run_cli(*args, "--json", status=status).stdout)

    def write_update_file(self, lines):
        with open(self.update_file, "w", newline="") as file:
            file.write("\r\n".join(lines) + "\r\n")

    @linux_only
    def test_help_and_version(self):
        self.assertIn("1.0.0", self.run_cli("--version").stdout)
        for command in (["file-name"], ["delete-update-file"], ["list"], ["local"],
                        ["local", "get"], ["local", "set"], ["status"], ["compare"], ["install-path"],
                        ["install-path", "set"], ["check"], ["verify"], ["entry", "set"],
                        ["entry", "remove"]):
            shown = self.run_cli(*command, "--help").stdout
            self.assertIn("Usage", shown)
            self.assertIn("--json", shown, command)
        self.assertIn("subcommand is required", self.run_cli(status=106).stderr)

    @linux_only
    def test_file_name(self):
        self.assertEqual(self.run_cli("file-name").stdout, "Update_6.1.ini\n")
        self.assertEqual(self.json("file-name"), {"FileName": "Update_6.1.ini"})

    @linux_only
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

    @linux_only
    def test_status_compares_offered_and_recorded_versions(self):
        rows = {row["Name"]: row for row in self.json("status")}
        self.assertEqual(rows["PovViewer"]["State"], "update available")  # 2.4.10 over 2.4.9
        self.assertEqual(rows["PovCodecPack"]["State"], "up to date")
        self.assertEqual(rows["PovHelp"]["State"], "not installed")
        self.assertEqual(rows["PovTools"]["State"], "update available")  # 2024b over 2024a
        self.assertEqual(list(rows["PovTools"]), ["Name", "Version", "InstalledVersion", "State"])
        self.run_cli("local", "set", "PovViewer", "2.4.10-RC1")
        self.run_cli("local", "set", "PovCodecPack", "1.10")
        self.run_cli("local", "set", "PovTools", "2024B")
        states = [line.split(None, 3)[3] for line in self.run_cli("status").stdout.splitlines()]
        self.assertEqual(states, ["STATE", "update available", "newer installed",
                                  "not installed", "up to date", "not installed"])

    def test_compare_prints_the_order_of_two_versions(self):
        for a, b, order in (("1.0.0", "1.0.0-rc1", ">"), ("2.4.9", "2.4.10-beta", "<"),
                            ("1.0RC1", "1.0-rc1", "="), ("1.0", "1.0b2", ">"), ("", "0.0", "=")):
            self.assertEqual(self.run_cli("compare", a, b).stdout, order + "\n")
        self.assertEqual(self.json("compare", "1.0.2a", "1.0.2"), {"Order": ">"})
        self.assertEqual(self.run_cli("compare", "--", "-rc1", "1").stdout, "<\n")
        self.assertIn("B is required", self.run_cli("compare", "1.0", status=106).stderr)
        self.run_cli("compare", status=106)
        self.run_cli("compare", "1", "2", "3", status=109)

    @linux_only
    def test_local_versions_round_trip(self):
        self.assertEqual(self.run_cli("local", "get", "PovViewer").stdout, "2.4.9\n")
        self.assertEqual(self.json("local", "get", "Unknown"), {"Name": "Unknown", "Version": ""})
        self.run_cli("local", "set", "PovHelp", "3.1")
        self.assertEqual(self.run_cli("local", "get", "povhelp").stdout, "3.1\n")
        failed = self.run_cli("local", "set", "PovHelp", "3.2\nVersion=0", status=11)
        self.assertIn("result 11", failed.stderr)
        self.assertEqual(failed.stdout, "")

    @linux_only
    def test_install_path_default_and_set(self):
        default = os.path.join(self.dir, "Install")
        self.assertEqual(self.run_cli("install-path").stdout, default + "\n")
        apps = os.path.join(self.dir, "apps")
        self.assertEqual(self.run_cli("install-path", "set", apps).stdout, apps + "/Install\n")
        self.assertEqual(self.json("install-path"), {"InstallPath": apps + "/Install"})
        failed = self.run_cli("install-path", "set", "/" + "d" * 260, status=53)
        self.assertIn("259 characters", failed.stderr)
        self.assertEqual(self.json("install-path"), {"InstallPath": apps + "/Install"})

    @linux_only
    def test_delete_update_file_empties_the_list(self):
        self.run_cli("delete-update-file")
        self.assertFalse(os.path.exists(self.update_file))
        self.assertEqual(self.json("list"), [])
        self.assertEqual(self.json("status"), [])

    @linux_only
    def test_check_reports_the_example_missing_section(self):
        findings = self.json("check", status=1)
        self.assertEqual([(f["line"], f["severity"]) for f in findings], [(9, "error")])
        self.assertIn("[PovLegacyPlugin]", findings[0]["message"])
        self.assertIn(self.update_file + ":9: error:", self.run_cli("check", status=1).stdout)

    @linux_only
    def test_check_names_no_file_the_library_would_not_read(self):
        deep = os.path.join(self.dir, "d" * 250)
        os.mkdir(deep)
        shutil.copy(self.update_file, deep)
        self.env["POVUPDATE_MODULE_DIR"] = deep
        result = self.run_cli("check", status=1)
        self.assertEqual(result.stdout, "")
        self.assertIn("the program's directory can't be found", result.stderr)

    @linux_only
    def test_dir_option_wins_over_the_environment(self):
        self.env["POVUPDATE_MODULE_DIR"] = tempfile.mkdtemp(dir=self.dir)
        self.assertEqual(len(self.json("--dir", self.dir, "list")), 5)
        # The library works on the same directory as the commands, and a
        # relative one is made absolute before a default is made from it.
        result = subprocess.run([POVUPDATE, "--dir", ".", "install-path"], cwd=self.dir,
                                env=self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.stdout, os.path.join(self.dir, "Install") + "\n", result.stderr)
        self.assertIn("Directory does not exist", self.run_cli("--dir", "/missing", "list",
                                                               status=105).stderr)

    @linux_only
    @unittest.skipIf(os.environ.get("POVUPDATE_TEST_UNDER_VALGRIND"),
                     "the wrapper would be in the system directory, not povupdate")
    def test_refuses_its_own_system_directory(self):
        # povupdate as a package installs it: in a mount namespace of its own,
        # the build's program directory stands in for /usr/local/bin.
        system = "/usr/local/bin"
        if os.geteuid() != 0 or not shutil.which("unshare") or not os.path.isdir(system):
            self.skipTest("needs root, unshare and /usr/local/bin")
        mount = f"mount --bind {os.path.dirname(POVUPDATE)} {system} && exec \"$@\""

        def run(*args, status=0):
            result = subprocess.run(["unshare", "-m", "sh", "-c", mount, "sh",
                                     os.path.join(system, os.path.basename(POVUPDATE)), *args],
                                    env=env, capture_output=True, text=True, timeout=120)
            self.assertEqual(result.returncode, status, f"{args}\n{result.stdout}{result.stderr}")
            return result
        env = dict(self.env)
        del env["POVUPDATE_MODULE_DIR"]
        if subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
            self.skipTest("no mount namespaces here")
        for command in (["status"], ["local", "set", "PovHelp", "3.1"], ["check"]):
            refused = run(*command, status=1)
            self.assertIn(f"{system}/ is a system directory", refused.stderr)
            self.assertIn("--dir DIR or POVUPDATE_MODULE_DIR", refused.stderr)
        # Files named on the command line need no host directory, nor does compare.
        run("entry", "remove", "PovHelp", "--file", self.update_file)
        self.assertEqual(run("compare", "1.0", "1.0.1").stdout, "<\n")
        self.assertEqual(len(json.loads(run("--dir", self.dir, "list", "--json").stdout)), 4)
        env["POVUPDATE_MODULE_DIR"] = self.dir
        self.assertEqual(run("file-name").stdout, "Update_6.1.ini\n")

    @linux_only
    def test_manual_page_names_every_command_and_option(self):
        with open(os.path.join(SOURCES, "cli", "povupdate.1")) as file:
            page = re.sub(r"\\f[BIRP]", "", file.read()).replace("\\-", "-")

        def mentioned(text):
            return re.search(r"(?<![\w-])" + re.escape(text) + r"(?![\w-])", page)
        commands = [[]]
        while commands:
            command = commands.pop()
            help_text = self.run_cli(*command, "--help").stdout
            if command:
                self.assertTrue(mentioned(" ".join(command)), f"povupdate.1 lacks {command}")
            for option in help_column(help_text, "Options"):
                for name in option.split()[0].split(","):
                    self.assertTrue(mentioned(name), f"povupdate.1 lacks {command} {name}")
            commands += [command + [name] for name in help_column(help_text, "Subcommands")]

    @linux_only
    def test_bash_completion_of_commands_options_and_files(self):
        script = os.path.join(SOURCES, "cli", "povupdate.bash")

        def complete(*words):
            line = " ".join(shlex.quote(word) for word in (POVUPDATE, *words))
            result = subprocess.run(
                ["bash", "-c", f'source {shlex.quote(script)} && complete -p povupdate >/dev/null'
                 f' && COMP_WORDS=({line}) && COMP_CWORD=$((${{#COMP_WORDS[@]}} - 1))'
                 ' && _povupdate && printf "%s\\n" "${COMPREPLY[@]}"'],
                env=self.env, capture_output=True, text=True, timeout=120)
            self.assertEqual(result.returncode, 0, result.stderr)
            return result.stdout.split()
        self.assertEqual(complete("lo"), ["local"])
        self.assertEqual(complete("--dir", self.dir, "install-path", ""), ["set"])
        self.assertEqual(complete("entry", "set", "--install-"),
                         ["--install-type", "--install-path"])
        self.assertEqual(complete("check", os.path.join(self.dir, "Upd")), [self.update_file])
        self.assertEqual(complete("--dir", self.dir[:-1]), [self.dir])

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

    def peak_rss(self, *args):
        """The peak resident size in bytes of one povupdate run."""
        # AddressSanitizer's quarantine of freed blocks is no memory of povupdate's.
        env = dict(self.env, ASAN_OPTIONS="quarantine_size_mb=0")
        process = subprocess.Popen([*self.command, *args], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        self.assertIn(process.returncode, (0, 1), args)
        return usage.ru_maxrss * 1024

    def read(self, path):
        with open(path, "rb") as file:
            return file.read()

    def write(self, path, data):
        with open(path, "wb") as file:
            file.write(data)

    def test_check_reads_utf16_files_as_the_library_does(self):
        text = self.read(self.update_file).decode("ascii")
        self.write(self.update_file, b"\xff\xfe" + text.encode("utf-16-le"))
        findings = self.json("check", self.update_file, status=1)
        self.assertEqual([(f["line"], f["severity"]) for f in findings], [(9, "error")])

    @linux_only
    def test_check_reports_anything_but_a_regular_file(self):
        fifo = os.path.join(self.dir, "fifo.ini")
        os.mkfifo(fifo)
        for path in (fifo, "/dev/zero", self.dir):
            findings = self.json("check", path, status=1)
            self.assertEqual(len(findings), 1, path)
            self.assertIn("not a regular file", findings[0]["message"])
        os.remove(self.update_file)
        os.mkfifo(self.update_file)
        self.assertIn("not a regular file", self.run_cli("check", status=1).stdout)

    @linux_only
    @unittest.skipIf(os.environ.get("POVUPDATE_TEST_UNDER_VALGRIND"),
                     "valgrind's own memory is no measure of povupdate's")
    def test_check_stays_within_three_times_the_file_size(self):
        small = os.path.join(self.dir, "small.ini")
        self.write(small, b"=\n")
        baseline = self.peak_rss("check", small, "--json")
        # The bytes are made only when written, a chunk at a time, so that the
        # test's own memory, which a child shares until it runs povupdate,
        # stays as it was.
        size = 4 << 20
        shapes = {"before any section": lambda: [b"=\n" * (size // 2)],
                  "one key repeated": lambda: [b"[A]\n", b"=\n" * (size // 2)],
                  "sections repeated": lambda: [b"[A]\n" * (size // 4)],
                  "lines never read": lambda: [b"[A]\n", b"x\n" * (size // 2)],
                  "distinct sections": lambda: (b"[%x]\n" % i for i in range(size // 7)),
                  "distinct keys": lambda: itertools.chain(
                      [b"[A]\n"], (b"%x=\n" % i for i in range(size // 6))),
                  "distinct index keys": lambda: itertools.chain(
                      [b"[SOFTWARE]\n"], (b"%d=a\n" % i for i in range(1, size // 8))),
                  "distinct index values": lambda: itertools.chain(
                      [b"[SOFTWARE]\n"], (b"%d=S%d\n" % (i, i) for i in range(1, size // 13)))}
        # Under AddressSanitizer every byte povupdate touches costs an eighth
        # more in shadow memory: that eighth is the sanitizer's, not povupdate's.
        with open(POVUPDATE, "rb") as program:
            shadow = 9 / 8 if b"__asan_init" in program.read() else 1
        for shape, make in shapes.items():
            with open(self.update_file, "wb") as file:
                file.writelines(make())
            grown = self.peak_rss("check", self.update_file, "--json") - baseline
            self.assertLess(grown, 3 * shadow * os.path.getsize(self.update_file), shape)
        self.write(self.update_file, b"=\n" * 1000)
        findings = self.json("check", self.update_file, status=1)
        self.assertEqual(len(findings), 102)  # no index, 100 lines, the count of the rest
        self.assertIn("900 more like the 100 before", findings[-1]["message"])

    def test_human_output_escapes_control_characters(self):
        self.write_update_file(["[SOFTWARE]", "1=A", "[A]", "Version=1\x1b[2J", "Size=\x1b]0;x\x07"])
        listed = self.run_cli("list").stdout
        self.assertIn("Version          1\\x1B[2J\n", listed)
        self.assertNotIn("\x1b", listed + self.run_cli("check", self.update_file, status=1).stdout)
        self.assertEqual(self.json("list")[0]["Version"], "1\x1b[2J")

    @linux_only
    def test_human_output_and_messages_escape_c1_and_bidirectional_controls(self):
        # The 8-bit CSI as a byte and as UTF-8, U+0085, the line separator and
        # the right-to-left override; an accented letter stays as it is.
        raw = b"\x9b2J\xc2\x9b\xc2\x85\xe2\x80\xa8\xe2\x80\xae\xe2\x81\xa6\xc3\xa9"
        shown = "\\x9B2J\\xC2\\x9B\\xC2\\x85\\xE2\\x80\\xA8\\xE2\\x80\\xAE\\xE2\\x81\\xA6\u00e9"
        self.write(self.update_file, b"[SOFTWARE]\r\n1=A\r\n2=B%s\r\n[A]\r\nVersion=%s\r\n"
                   b"[B%s]\r\n[C%s]\r\n" % (raw, raw, raw, raw))
        env = dict(self.env, PYTHONIOENCODING="utf-8")
        outputs = []
        for args in (["list"], ["status"], ["check", self.update_file],
                     ["verify", os.fsdecode(b"A\x9b"), "x"]):
            result = subprocess.run([*self.command, *args], env=env, capture_output=True)
            outputs.append((result.stdout + result.stderr).decode("utf-8", "replace"))
        self.assertIn("Version          " + shown + "\n", outputs[0])
        self.assertRegex(outputs[1], "\nA +" + re.escape(shown))
        self.assertIn("[C" + shown + "] is never read", outputs[2])
        self.assertIn("no entry A\\x9B", outputs[3])
        outputs.append(self.run_cli("list", "--\x1b[2J", status=109).stderr)
        for text in outputs:
            self.assertIsNone(re.search("[\x00-\x08\x0b-\x1f\x7f-\x9f\u2028\u2029\u200e\u200f"
                                        "\u202a-\u202e\u2066-\u2069\ufffd]", text), text)

    @linux_only
    def test_a_failing_standard_output_exits_70(self):
        commands = [["list"], ["list", "--json"], ["status"], ["status", "--json"],
                    ["verify", "PovViewer", self.update_file], ["check"], ["file-name"],
                    ["install-path"], ["local", "get", "PovViewer"], ["--help"]]
        for args in commands:
            with open("/dev/full", "w") as full:
                result = subprocess.run([*self.command, *args], env=self.env, stdout=full,
                                        stderr=subprocess.PIPE, text=True)
            self.assertEqual(result.returncode, 70, (args, result.stderr))
            self.assertIn("standard output can't be written", result.stderr)
            closed = subprocess.run([*self.command, *args], env=self.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    preexec_fn=lambda: os.close(1))
            self.assertEqual(closed.returncode, 70, args)
        # With its standard descriptors closed, an edit writes nothing meant
        # for them into the files it opens. Valgrind can't start without a
        # standard error of its own.
        closing = (0, 1) if os.environ.get("POVUPDATE_TEST_UNDER_VALGRIND") else (0, 1, 2)
        path, _, _ = self.installer("Closed.exe", b"closed")
        before = self.read(self.update_file)
        subprocess.run([*self.command, "entry", "set", path, "--name", "PovViewer", "--version",
                        "9", "--url", "https://h/Closed.exe"], env=self.env, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL,
                       preexec_fn=lambda: [os.close(fd) for fd in closing])
        after = self.read(self.update_file)
        self.assertNotIn(b"entry PovViewer set", after)
        # The entry's SHA256 is the one line added.
        self.assertEqual(after.count(b"\r\n"), before.count(b"\r\n") + 1)

    @linux_only
    def test_help_states_the_exit_statuses(self):
        text = " ".join(self.run_cli("--help").stdout.split())
        for status in ("0 on success", "1 when check finds errors", "result code (1 to 60)",
                       "99 when", "70 when", "100 to 127"):
            self.assertIn(status, text)
        self.run_cli("list", "--bogus", status=109)

    def test_json_for_every_command_and_every_failure(self):
        installer, _, _ = self.installer("J.exe", b"j")
        # What succeeds is one JSON value, also where people are told nothing.
        self.assertEqual(self.json("local", "set", "PovHelp", "3.1"),
                         {"Name": "PovHelp", "Version": "3.1"})
        for args in (["entry", "set", installer, "--name", "J", "--version", "1", "--url", "u"],
                     ["entry", "remove", "J"]):
            files = self.json(*args)["Files"]
            self.assertEqual([re.split(r"[\\/]", f)[-1] for f in files],
                             [os.path.basename(self.update_file)])
        # A failure is the object alone on standard output, its message on
        # standard error and its code the exit status.
        # A code of the library's comes with its name.
        for args, status in ((["install-path", "set", "/" + "d" * 260], 53),
                             (["verify", "Unknown", installer], 1), (["entry", "remove", "J"], 1),
                             (["local", "get"], 106), (["list", "--bogus"], 109), ([], 106)):
            result = self.run_cli(*args, "--json", status=status)
            failure = json.loads(result.stdout)
            named = {"code": status, "name": "POVUPDATE_PATH_TOO_LONG"} if status == 53 else {}
            self.assertEqual(failure, {"code": status, **named, "message": failure["message"]})
            self.assertIn("povupdate: " + failure["message"] + "\n", result.stderr)
        self.assertEqual(self.json("delete-update-file"), {})

    def test_json_for_compare_and_the_signing_commands(self):
        self.assertEqual(self.json("compare", "1.0", "1.0.1"), {"Order": "<"})
        private, public = (os.path.join(self.dir, name) for name in ("k.pem", "k.pub"))
        made = json.loads(self.run_cli("key", "new", private, public, "--json", status=None).stdout)
        if RUNNER and "code" in made:  # where crypt32 can't write keys (Wine 8)
            refused = made
        else:
            self.assertEqual(made, {"PrivateKey": private, "PublicKey": public})
            refused = self.json("key", "new", private, public, status=1)
            signed = self.json("sign", "--key", private, "--serial", "7")
            self.assertEqual((os.path.basename(signed["File"]), signed["Serial"]),
                             (os.path.basename(self.update_file), "7"))
            trust = self.json("verify-file", "--key", public)
            self.assertEqual((trust["Verified"], trust["Serial"]), (True, "7"))
        self.assertEqual(refused, {"code": 1, "message": refused["message"]})

    def installer(self, name, data):
        path = os.path.join(self.dir, "downloads", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.write(path, data)
        return path, hashlib.md5(data).hexdigest(), str(len(data))

    def assert_update_file(self, expected):
        self.assertEqual(self.read(self.update_file), expected)

    def set_entry(self, installer, name, *args, status=0, user=None):
        return self.run_cli("entry", "set", installer, "--name", name, "--version", "1.0",
                            "--url", "https://example.com/x/" + os.path.basename(installer),
                            *args, status=status, user=user)

    def test_entry_set_writes_the_entry_and_nothing_else(self):
        before = self.read(self.update_file)
        path, md5, size = self.installer("PovNew-1.0.msi", b"new installer")
        self.set_entry(path, "PovNew", "--install-path", "1Program Files\\PovNew")
        index = b"5=PovLegacyPlugin\r\n"
        sha256 = hashlib.sha256(b"new installer").hexdigest()
        expected = before.replace(index, index + b"6=PovNew\r\n") + (
            "[PovNew]\r\nVersion=1.0\r\nDownLoadPath=https://example.com/x/PovNew-1.0.msi\r\n"
            "MD5=%s\r\nSHA256=%s\r\nInstallType=msi\r\nInstallPath=1Program Files\\PovNew\r\n"
            "InstallParmeter=\r\nSize=%s\r\n" % (md5, sha256, size)).encode()
        self.assert_update_file(expected)
        # Set again, from another installer: only the values change.
        path, md5_2, size_2 = self.installer("PovNew-1.0.msi", b"newer installer")
        self.set_entry(path, "povnew", "--install-type", "exe")
        self.assert_update_file(expected.replace(md5.encode(), md5_2.encode())
                                .replace(sha256.encode(),
                                         hashlib.sha256(b"newer installer").hexdigest().encode())
                                .replace(b"Size=" + size.encode(), b"Size=" + size_2.encode())
                                .replace(b"InstallType=msi\r\nInstallPath=1",
                                         b"InstallType=exe\r\nInstallPath=1")
                                .replace(b"1Program Files\\PovNew", b""))

    def test_entry_remove_renumbers_and_keeps_the_rest(self):
        before = self.read(self.update_file)
        self.run_cli("entry", "remove", "PovCodecPack")
        # The comments after the section's last key lead to what follows.
        end = before.index(b"\r\n; No checksum")
        section = before[before.index(b"[PovCodecPack]"):end]
        expected = before.replace(section, b"").replace(
            b"2=PovCodecPack\r\n3=PovHelp\r\n4=PovTools\r\n5=PovLegacyPlugin\r\n",
            b"2=PovHelp\r\n3=PovTools\r\n4=PovLegacyPlugin\r\n")
        self.assert_update_file(expected)
        failed = self.run_cli("entry", "remove", "PovCodecPack", status=1)
        self.assertIn("no entry PovCodecPack", failed.stderr)
        self.assert_update_file(expected)

    def test_four_checked_files_from_a_folder_of_installers(self):
        files = [os.path.join(self.dir, "site", "Update_%s.ini" % v)
                 for v in ("6.1", "6.2", "6.3", "10.0")]
        os.makedirs(os.path.dirname(files[0]))
        options = [arg for path in files for arg in ("--file", path)]
        viewer, _, _ = self.installer("Viewer.exe", b"viewer")
        codecs, codecs_md5, _ = self.installer("Codecs.zip", b"codecs")
        self.set_entry(viewer, "Viewer", *options)
        self.set_entry(codecs, "Codecs", *options)
        downloads = os.path.dirname(viewer)
        for path in files:
            self.assertEqual(self.json("check", path, "--downloads", downloads), [])
        self.write(codecs, b"codecs, changed")
        findings = self.json("check", files[0], "--downloads", downloads, status=1)
        self.assertEqual([(f["line"], f["message"].split("does not match: ")[-1])
                          for f in findings],
                         [(16, "MD5: expected '%s', found '%s'"
                           % (codecs_md5, hashlib.md5(b"codecs, changed").hexdigest())),
                          (17, "SHA256: expected '%s', found '%s'"
                           % (hashlib.sha256(b"codecs").hexdigest(),
                              hashlib.sha256(b"codecs, changed").hexdigest())),
                          (21, "Size: expected '6', found '15'")])
        os.remove(viewer)
        findings = self.json("check", files[0], "--downloads", downloads, status=1)
        self.assertEqual(findings[0]["line"], 6)  # Viewer's DownLoadPath
        self.assertIn("'Viewer.exe' can't be read", findings[0]["message"])
        # The name is the URL's path's, not its query's; no directory is none.
        self.run_cli("entry", "set", codecs, "--name", "Codecs", "--version", "1", "--url",
                     "https://h/Missing.zip?mirror=/Codecs.zip", "--file", files[1])
        findings = self.json("check", files[1], "--downloads", downloads, status=1)
        self.assertIn("'Missing.zip'", findings[-1]["message"])
        self.assertIn("must be named", self.run_cli("check", files[1], "--downloads", "",
                                                    status=105).stderr)

    def signing_fixture(self, name):
        return os.path.join(EXAMPLES, "..", "tests", "signing", name)

    def test_verify_file_says_why_a_file_is_not_believed(self):
        folder = os.path.join(self.dir, "published")
        os.mkdir(folder)
        update_file = os.path.join(folder, "Update_6.1.ini")
        cases = [("good.ini", "publisher.pub", 0, "is signed by a key"),
                 ("good.ini", "rotated.pub", 0, "is signed by a key"),
                 ("expired.ini", "publisher.pub", 1, "expired on 2001-01-01T00:00:00Z"),
                 ("other-version.ini", "publisher.pub", 1, "another file, Update_6.2.ini"),
                 ("other-key.ini", "publisher.pub", 1, "does not verify"),
                 ("good.ini", "damaged.pub", 1, "the key file is damaged"),
                 (os.path.join("..", "..", "examples", "Update_6.1.ini"), "publisher.pub", 1,
                  "has no signature")]
        for fixture, key, status, reason in cases:
            shutil.copy(self.signing_fixture(fixture), update_file)
            result = self.run_cli("verify-file", update_file, "--key", self.signing_fixture(key),
                                  status=status)
            self.assertIn(reason, result.stdout + result.stderr, fixture)
        report = self.json("verify-file", update_file, "--key", self.signing_fixture("nowhere"),
                           status=1)
        self.assertFalse(report["Verified"])
        self.assertIn("can't be checked: the key file", report["Reason"])

    def openssl_key(self, private_key, public_key):
        subprocess.run("openssl ecparam -genkey -name prime256v1 | openssl pkcs8 -topk8 -nocrypt "
                       "-out %s && openssl pkey -in %s -pubout -out %s"
                       % (shlex.quote(private_key), shlex.quote(private_key),
                          shlex.quote(public_key)), shell=True, check=True)

    def test_key_new_sign_and_the_openssl_recipe(self):
        private_key = os.path.join(self.dir, "publisher.key")
        public_key = os.path.join(self.dir, "PovUpdate.pub")
        made = self.run_cli("key", "new", private_key, public_key, status=None)
        if RUNNER and made.returncode == 1:
            # Wine 8's crypt32 has no encoding of the private key or of the
            # signature: povupdate.exe says which, names the ways that work
            # and leaves no file; a key made by openssl is refused so too.
            self.assertIn("crypt32 has no encoding of", made.stderr)
            self.assertIn("on Linux", made.stderr)
            self.assertFalse(os.path.exists(private_key) or os.path.exists(public_key))
            self.openssl_key(private_key, public_key)
            refused = self.run_cli("sign", "--key", private_key, status=1).stderr
            self.assertIn("crypt32 has no encoding of", refused)
            self.assertIn("openssl", refused)
            return
        self.assertEqual(made.returncode, 0, made.stderr)
        if not RUNNER:
            self.assertEqual(stat.S_IMODE(os.stat(private_key).st_mode), 0o600)
        self.assertIn("exists", self.run_cli("key", "new", private_key, "other.pub",
                                             status=1).stderr)
        # A host with PovUpdate.pub refuses the unsigned file, then walks the signed one.
        self.run_cli("list", status=60)
        self.run_cli("sign", "--key", private_key, "--expires", "30")
        self.assertEqual(len(self.json("list")), 5)
        first = self.json("verify-file")
        self.assertTrue(first["Verified"])
        self.run_cli("sign", "--key", private_key)
        second = self.json("verify-file")
        self.assertGreater(int(second["Serial"]), int(first["Serial"]))
        with open(self.update_file, "rb") as file:
            self.assertEqual(file.read().count(b"[PovUpdate.Signature]"), 1)
        self.run_cli("sign", "--key", private_key, "--serial", "7")
        self.assertEqual(self.json("verify-file")["Serial"], "7")
        self.assertIn("in the past", self.run_cli("sign", "--key", private_key, "--expires",
                                                  "2001-01-01T00:00:00Z", status=1).stderr)
        # The README's recipe: stock openssl checks what povupdate signed.
        name = shlex.quote(os.path.basename(self.update_file))
        recipe = ("head -n -1 %s > signed-part && "
                  "tail -n 1 %s | tr -d '\\r\\n' | sed 's/^Signature=//' | "
                  "base64 -d > signature.der && "
                  "openssl dgst -sha256 -verify PovUpdate.pub -signature signature.der signed-part"
                  % (name, name))
        checked = subprocess.run(["sh", "-c", recipe], cwd=self.dir, capture_output=True,
                                 text=True)
        self.assertEqual(checked.stdout.strip(), "Verified OK", checked.stderr)
        # A key made by openssl signs too.
        other_key, other_public = (os.path.join(self.dir, n) for n in ("ossl.key", "ossl.pub"))
        self.openssl_key(other_key, other_public)
        self.run_cli("sign", "--key", other_key)
        self.assertTrue(self.json("verify-file", "--key", other_public)["Verified"])
        self.run_cli("sign", "--key", private_key)
        # An edit after signing: the host refuses the file until it is signed again.
        with open(self.update_file, "r+b") as file:
            data = file.read().replace(b"2.4.10", b"2.4.11", 1)
            file.seek(0)
            file.write(data)
        self.assertIn("does not verify", self.run_cli("verify-file", status=1).stderr)
        self.run_cli("list", status=60)
        self.assertIn("does not verify",
                      self.run_cli("verify", "PovViewer", self.update_file, status=60).stderr)
        self.assertEqual(self.json("verify", "PovViewer", self.update_file, status=60)["name"],
                         "POVUPDATE_UNTRUSTED_UPDATE_FILE")
        text = " ".join(f["message"] for f in self.json("check", "--key", public_key, status=1))
        self.assertIn("no longer matches", text)
        self.assertIn("no SHA256", text)  # the example's downloads predate SHA256

    def test_verify_compares_a_download_with_its_entry(self):
        path, _, _ = self.installer("PovNew.exe", b"installer")
        self.set_entry(path, "PovNew")
        self.assertIn("matches", self.run_cli("verify", "PovNew", path).stdout)
        self.assertTrue(self.json("verify", "povnew", path)["Matches"])
        self.write(path, b"tampered installer")
        failed = self.run_cli("verify", "PovNew", path, status=1)
        self.assertIn("Size: expected '9', found '18'", failed.stdout)
        mismatches = self.json("verify", "PovNew", path, status=1)["Mismatches"]
        self.assertEqual([m["Field"] for m in mismatches], ["SHA256", "Size"])
        # The SHA-256 is what counts where the entry has one.
        self.write(path, b"installer")
        with open(self.update_file, "rb") as file:
            text = re.sub(rb"SHA256=[0-9a-f]{64}", b"SHA256=" + b"0" * 64, file.read())
        self.write(self.update_file, text)
        mismatches = self.json("verify", "PovNew", path, status=1)["Mismatches"]
        self.assertEqual([m["Field"] for m in mismatches], ["SHA256"])
        self.assertIn("no entry Unknown", self.run_cli("verify", "Unknown", path, status=1).stderr)
        missing = os.path.join(self.dir, "missing.exe")
        self.assertIn("can't be read", self.run_cli("verify", "PovNew", missing, status=1).stderr)

    def test_entry_commands_refuse_bad_input_and_change_nothing(self):
        installer, _, _ = self.installer("Good.exe", b"good")
        read_only = os.path.join(self.dir, "ReadOnly.ini")
        shutil.copy(self.update_file, read_only)
        os.chmod(read_only, 0o444)
        utf16 = os.path.join(self.dir, "Utf16.ini")
        self.write(utf16, b"\xff\xfe" + self.read(self.update_file).decode().encode("utf-16-le"))
        gap = os.path.join(self.dir, "Gap.ini")
        self.write(gap, b"[SOFTWARE]\r\n1=A\r\n2=B\r\n4=Old\r\n[A]\r\n[B]\r\n[Old]\r\n")
        repeated = os.path.join(self.dir, "Repeated.ini")
        self.write(repeated, b"[SOFTWARE]\r\n1=A\r\n2=B\r\n2=Hidden\r\n[A]\r\n[B]\r\n[Hidden]\r\n")
        others = [os.path.join(self.dir, name) for name in ("Update_6.2.ini", "Update_6.3.ini")]
        for path in others:
            shutil.copy(self.update_file, path)
        entry_a = ["entry", "set", installer, "--name", "A", "--version", "1", "--url", "u"]
        cases = [
            (["entry", "set", os.path.join(self.dir, "missing.exe"), "--name", "A",
              "--version", "1", "--url", "u"], "missing.exe can't be read"),
            (["entry", "set", self.dir, "--name", "A", "--version", "1", "--url", "u"],
             "not a regular file"),
            (["entry", "set", installer, "--name", "A]B", "--version", "1", "--url", "u"],
             "no section header can hold"),
            (["entry", "set", installer, "--name", " A", "--version", "1", "--url", "u"],
             "no section header can hold"),
            (["entry", "set", installer, "--name", "SOFTWARE", "--version", "1", "--url", "u"],
             "index section"),
            (["entry", "set", installer, "--name", "A", "--version", "1\nSize=0", "--url", "u"],
             "Version can't be stored"),
            (["entry", "set", installer, "--name", "A", "--version", "1", "--url", "u\r\nx"],
             "DownLoadPath can't be stored"),
            (["entry", "set", installer, "--name", "A", "--version", "1", "--url", "u",
              "--file", self.update_file, "--file", self.dir], "not a regular file"),
            ([*entry_a, "--file", read_only], "ReadOnly.ini is read-only"),
            (["entry", "remove", "PovHelp", "--file", read_only], "ReadOnly.ini is read-only"),
            # Every file or none.
            ([*entry_a, "--file", others[0], "--file", read_only, "--file", others[1]],
             "ReadOnly.ini is read-only"),
            ([*entry_a, "--file", others[0], "--file", os.path.join(self.dir, "no", "U.ini")],
             "U.ini is in a directory that does not exist"),
            # No hidden entry comes back.
            (["entry", "set", installer, "--name", "C", "--version", "1", "--url", "u",
              "--file", gap], "index key 4=Old past the end"),
            (["entry", "remove", "A", "--file", repeated], "index key 2=Hidden past the end"),
        ]
        if not RUNNER:
            # Text that is no UTF-8 has no UTF-16 form; the Windows program's
            # texts are in its ANSI code page, which has one for each.
            cases += [
                (["entry", "set", installer, "--name", "PovViewer", "--version", "9", "--url", "u",
                  "--install-path", os.fsdecode(b"D:\\Pov\xe9"), "--file", utf16],
                 "InstallPath is not UTF-8"),
                ([*entry_a, "--parameters", os.fsdecode(b"/S \xff"), "--file", utf16],
                 "InstallParmeter is not UTF-8"),
            ]
        if RUNNER and os.geteuid() == 0:
            # Wine run by root opens any file for writing, whatever its mode;
            # Windows refuses a read-only file.
            cases = [case for case in cases if read_only not in case[0]]
        before = {name: self.read(os.path.join(self.dir, name))
                  for name in os.listdir(self.dir) if name.endswith(".ini")}
        for args, message in cases:
            failed = self.run_cli(*args, status=1)
            self.assertIn(message, failed.stderr, args)
            after = {name: self.read(os.path.join(self.dir, name))
                     for name in os.listdir(self.dir) if name.endswith(".ini")}
            self.assertEqual(after, before, args)

    @linux_only
    def test_a_replacement_failing_midway_names_the_files_changed(self):
        installer, _, _ = self.installer("Mid.exe", b"mid")
        small, large = (os.path.join(self.dir, name) for name in ("Small.ini", "Large.ini"))
        self.write(small, b"[SOFTWARE]\r\n")
        self.write(large, b"[SOFTWARE]\r\n" + b";" * 20000 + b"\r\n")
        before = self.read(large)

        def limit_file_size():
            # A write past the limit fails with EFBIG instead of ending the process.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (10000, 10000))
        result = subprocess.run([*self.command, "entry", "set", installer, "--name", "Mid",
                                 "--version", "1", "--url", "https://h/Mid.exe", "--file", small,
                                 "--file", large], env=self.env, capture_output=True, text=True,
                                preexec_fn=limit_file_size)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(large + " can't be replaced", result.stderr)
        self.assertIn("changed already: " + small, result.stderr)
        self.assertIn(b"Mid", self.read(small))
        self.assertEqual(self.read(large), before)

    def walk(self):
        return [entry["Name"] for entry in self.json("list")]

    def test_concurrent_edits_lose_no_entry(self):
        installer, _, _ = self.installer("Same.exe", b"same")
        self.write_update_file(["[SOFTWARE]", "1=First", "[First]"])
        rounds = 3 if RUNNER else 10
        names = ["First"]
        for n in range(rounds):
            pair = ["P%d" % n, "Q%d" % n]
            edits = [subprocess.Popen([*self.command, "entry", "set", installer, "--name", name,
                                       "--version", "1", "--url", "https://h/Same.exe"],
                                      env=self.env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL) for name in pair]
            self.assertEqual([edit.wait(timeout=120) for edit in edits], [0, 0])
            names += pair
        self.assertCountEqual(self.walk(), names)
        for _ in range(2 if RUNNER else 5):
            self.write_update_file(["[SOFTWARE]", "1=A", "2=B", "3=C", "[A]", "[B]", "[C]"])
            edits = [subprocess.Popen([*self.command, *args], env=self.env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                     for args in (["entry", "remove", "A"],
                                  ["entry", "set", installer, "--name", "D", "--version", "1",
                                   "--url", "https://h/Same.exe"])]
            self.assertEqual([edit.wait(timeout=120) for edit in edits], [0, 0])
            self.assertEqual(self.walk(), ["B", "C", "D"])

    @linux_only
    @unittest.skipIf(os.environ.get("POVUPDATE_TEST_UNDER_VALGRIND"),
                     "valgrind slows each edit of the large file many times over")
    def test_a_killed_edit_leaves_the_file_as_before_or_after(self):
        installer, _, _ = self.installer("Big.exe", b"big")
        padding = b"".join(b"[Pad%d]\r\nVersion=%d\r\n; %s\r\n" % (i, i, b"p" * 200)
                           for i in range(40000))
        original = (b"[SOFTWARE]\r\n1=A\r\n2=B\r\n3=C\r\n[A]\r\nVersion=1\r\nSize=1\r\n[B]\r\n"
                    b"[C]\r\n" + padding)
        edits = {"set": ["entry", "set", installer, "--name", "A", "--version", "2.0",
                         "--url", "https://h/Big.exe"],
                 "remove": ["entry", "remove", "A"]}
        for kind, args in edits.items():
            self.write(self.update_file, original)
            started = time.monotonic()
            self.run_cli(*args)
            took = time.monotonic() - started
            edited = self.read(self.update_file)
            for moment in range(12):
                self.write(self.update_file, original)
                edit = subprocess.Popen([*self.command, *args], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(took * moment / 10)
                edit.kill()
                edit.wait()
                self.assertIn(self.read(self.update_file), (original, edited), (kind, moment))

    @linux_only
    def test_entry_set_refuses_an_unreadable_installer(self):
        installer, _, _ = self.installer("Locked.exe", b"locked")
        os.chmod(installer, 0)
        user = None
        if os.geteuid() == 0:
            # Root reads any file: the command runs as nobody, who may reach
            # the files but not read the installer.
            os.chmod(self.dir, 0o755)
            user = "nobody"
        before = self.read(self.update_file)
        failed = self.set_entry(installer, "Locked", status=1, user=user)
        self.assertIn("Locked.exe can't be read", failed.stderr)
        self.assertEqual(self.read(self.update_file), before)


if __name__ == "__main__":
    POVUPDATE, EXAMPLES = sys.argv[1], sys.argv[2]
    RUNNER = sys.argv[3] if len(sys.argv) > 3 else ""
    unittest.main(argv=sys.argv[:1], verbosity=2)
