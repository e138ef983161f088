#!/usr/bin/env python3
"""povupdate update against real servers on 127.0.0.1: downloads, checks,
installs and records, and what each fault does.

Usage: update_test.py POVUPDATE [INSTALLER RUNNER]

With RUNNER (Wine), POVUPDATE is the Windows program, run from the test's
directory, and INSTALLER the Windows installer that records its arguments;
the tests that need the Linux host (shell-script installers, a file
size limit) are skipped then.
"""
import functools
import hashlib
import io
import json
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import servers  # noqa: E402

POVUPDATE = ""
INSTALLER = ""
RUNNER = ""


def linux_only(test):
    @functools.wraps(test)
    def run(self):
        if RUNNER:
            self.skipTest("the Linux host's installers and file system")
        test(self)
    return run


def installer(log, status=0, pause=0):
    """A program that logs its arguments, each between [], as one line, and
    exits with `status`: a shell script, or under Wine the Windows
    installer (its status from the environment)."""
    if RUNNER:
        with open(INSTALLER, "rb") as file:
            return file.read()
    return (f"#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> {log}\n"
            f"echo >> {log}\nsleep {pause}\nexit {status}\n").encode()


def zip_bytes(members):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in members.items():
            archive.writestr(name, data)
    return buffer.getvalue()


class UpdateTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="povupdate-update-")
        self.addCleanup(shutil.rmtree, self.dir)
        self.www = os.path.join(self.dir, "www")
        os.makedirs(self.www)
        self.log = os.path.join(self.dir, "installs.log")
        self.downloads = os.path.join(self.dir, "cache", "povupdate")
        self.env = dict(os.environ,
                        POVUPDATE_MODULE_DIR=self.dir,
                        POVUPDATE_OS_VERSION="6.1",
                        POVUPDATE_REGISTRY_DIR=os.path.join(self.dir, "registry"),
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_CACHE_HOME=os.path.join(self.dir, "cache"),
                        XDG_STATE_HOME=os.path.join(self.dir, "state"))
        self.cli = [POVUPDATE]
        self.update_name, self.config_name = "Update_6.1.ini", "PovConfig_6.1.ini"
        if RUNNER:
            # Windows finds the library beside the program, and the program
            # its files beside itself.
            built = os.path.dirname(POVUPDATE)
            for name in os.listdir(built):
                if name.lower().endswith(".dll") or name == os.path.basename(POVUPDATE):
                    shutil.copy(os.path.join(built, name), self.dir)
            self.cli = [RUNNER, os.path.join(self.dir, os.path.basename(POVUPDATE))]
            self.env["POVUPDATE_TEST_LOG"] = self.windows_path(self.log)
            self.update_name = subprocess.run([*self.cli, "file-name"], env=self.env, text=True,
                                              capture_output=True, check=True).stdout.strip()
            self.config_name = self.update_name.replace("Update_", "PovConfig_")
        self.files = {}
        self.fault = servers.FaultServer(self.files)
        self.addCleanup(self.fault.stop)
        self.entries = []
        self.record({})

    @staticmethod
    def windows_path(path):
        return "Z:" + path.replace("/", "\\")

    def serve(self, name, data):
        self.files[name] = data
        with open(os.path.join(self.www, name), "wb") as file:
            file.write(data)
        return data

    def nginx(self):
        server = servers.Nginx(self.www, os.path.join(self.dir, "nginx"))
        self.addCleanup(server.stop)
        return server.url

    def entry(self, name, url, data, version="2.0", kind="exe", path="", parameters="",
              digest="SHA256", size=None):
        keys = {"Version": version, "DownLoadPath": url, "InstallType": kind,
                "InstallPath": path, "InstallParmeter": parameters,
                "Size": str(len(data)) if size is None else size}
        if digest == "SHA256":
            keys["SHA256"] = hashlib.sha256(data).hexdigest()
        elif digest == "MD5":
            keys["MD5"] = hashlib.md5(data).hexdigest()
        self.entries.append((name, keys))
        lines = ["[SOFTWARE]"] + [f"{n}={e}" for n, (e, _) in enumerate(self.entries, 1)]
        for section, values in self.entries:
            lines += [f"[{section}]"] + [f"{k}={v}" for k, v in values.items()]
        with open(os.path.join(self.dir, self.update_name), "w", newline="") as file:
            file.write("\r\n".join(lines) + "\r\n")

    def record(self, versions):
        with open(os.path.join(self.dir, self.config_name), "w", newline="") as file:
            for name, version in versions.items():
                file.write(f"[{name}]\r\nVersion={version}\r\n")

    def recorded(self, name):
        return subprocess.run([*self.cli, "local", "get", name], env=self.env,
                              capture_output=True, text=True, check=True).stdout.strip()

    def update(self, *args, status=0, **popen):
        if RUNNER:
            args = ("--downloads", self.windows_path(self.downloads), *args)
        result = subprocess.run([*self.cli, "update", "--allow-unsigned", "--json", *args],
                                env=self.env, capture_output=True, text=True, timeout=120, **popen)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        return {r["Name"]: r for r in json.loads(result.stdout)["Results"]}

    def installs(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as file:
            return file.read().splitlines()

    @linux_only
    def test_update_installs_records_and_removes_the_download(self):
        url = self.nginx()
        tool = self.serve("tool-2.0.exe", installer(self.log))
        self.entry("Tool", f"{url}/tool-2.0.exe", tool, kind="1",
                   parameters='/S "/D=C:\\Program Files\\x" a\\\\"b c" q\\"d', digest="MD5")
        self.entry("Fresh", f"{url}/tool-2.0.exe", tool, version="1.0")
        docs = self.serve("docs.zip", zip_bytes({"index.html": b"docs"}))
        self.entry("Docs", f"{url}/docs.zip", docs, kind="zip")
        self.entry("Current", f"{url}/tool-2.0.exe", tool, version="1.0")
        self.record({"Tool": "1.9", "Current": "1.0.0"})

        self.assertEqual(self.update("--dry-run")["Fresh"]["Result"], "skipped")
        planned = self.update("--dry-run", "--new")
        self.assertEqual(planned["Tool"]["Result"], "would install")
        # The install directory GetSaveFilePath would store, not stored.
        self.assertEqual(planned["Docs"]["InstallPath"], os.path.join(self.dir, "Install", "Docs"))
        self.assertFalse(os.path.exists(self.downloads))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "registry")))

        results = self.update("--new")
        self.assertEqual({n: r["Result"] for n, r in results.items()},
                         {"Tool": "installed", "Fresh": "installed",
                          "Docs": "installed", "Current": "current"})
        self.assertTrue(os.path.exists(os.path.join(self.dir, "Install", "Docs", "index.html")))
        self.assertTrue(results["Tool"]["ChosenByExtension"])
        self.assertEqual(self.installs()[0], '[/S][/D=C:\\Program Files\\x][a\\b c][q"d]')
        self.assertEqual(len(self.installs()), 2)
        self.assertEqual([self.recorded(n) for n in ("Tool", "Fresh")], ["2.0", "1.0"])
        self.assertEqual(os.listdir(self.downloads), [])
        self.assertEqual(os.stat(self.downloads).st_mode & 0o777, 0o700)
        again = self.update()
        self.assertEqual({r["Result"] for r in again.values()}, {"current"})
        # A stored install directory is what --dry-run reports.
        elsewhere = os.path.join(self.dir, "elsewhere", "Install")
        subprocess.run([*self.cli, "install-path", "set", elsewhere], env=self.env, check=True,
                       capture_output=True, timeout=60)
        self.record({"Docs": "0.1"})
        self.assertEqual(self.update("--dry-run")["Docs"]["InstallPath"],
                         os.path.join(elsewhere, "Docs"))

    def failed(self, results, name, *words):
        self.assertEqual(results[name]["Result"], "failed", results[name])
        for word in words:
            self.assertIn(word, results[name]["Reason"])
        self.assertEqual(self.recorded(name), "1.0")

    def test_cut_stalled_and_partial_downloads_resume(self):
        data = self.serve("big.exe", installer(self.log) + b"#" * 300000)
        url = self.fault.url
        self.entry("Cut", f"{url}/cut/big.exe", data)
        self.entry("Stalled", f"{url}/stall/big.exe", data)
        self.entry("Partial", f"{url}/files/big.exe", data)
        self.record({"Cut": "1.0", "Stalled": "1.0", "Partial": "1.0"})
        os.makedirs(self.downloads, mode=0o700)
        # A run killed half-way left the first half.
        with open(os.path.join(self.downloads, "big.exe.part"), "wb") as file:
            file.write(data[:1000])
        results = self.update("--only", "Partial")
        self.assertEqual(results["Partial"]["Result"], "installed")
        self.assertEqual(self.fault.requests, [("/files/big.exe", "bytes=1000-")])
        self.fault.requests.clear()
        results = self.update("--timeout", "1", "--only", "cut", "--only", "STALLED")
        self.assertEqual({r["Result"] for r in results.values()}, {"installed"})
        half = str((len(data)) // 2)
        self.assertEqual(self.fault.requests[:3],
                         [("/cut/big.exe", None), ("/cut/big.exe", f"bytes={half}-"),
                          ("/stall/big.exe", None)])
        # A stalled read may end before all that came is handed on.
        stalled, resumed_at = self.fault.requests[3]
        self.assertEqual(stalled, "/stall/big.exe")
        self.assertGreater(int(resumed_at[6:-1]), 0)
        self.assertEqual(len(self.installs()), 3)

    def test_other_bytes_than_promised_are_refused_and_never_run(self):
        url = self.nginx()
        data = self.serve("tool.exe", installer(self.log))
        self.entry("Sha", f"{self.fault.url}/wrong/tool.exe", data)
        self.entry("Md5", f"{self.fault.url}/wrong/tool.exe", data, digest="MD5")
        self.entry("Endless", f"{self.fault.url}/more/tool.exe", data)
        self.entry("Longer", f"{url}/tool.exe", data, size=str(len(data) - 1))
        self.entry("Shorter", f"{url}/tool.exe", data, size=str(len(data) + 1))
        self.record({n: "1.0" for n, _ in self.entries})
        results = self.update(status=1)
        self.failed(results, "Sha", "other bytes", "SHA256")
        self.failed(results, "Md5", "other bytes", "MD5")
        self.failed(results, "Endless", "more than the entry's Size")
        self.failed(results, "Longer", "more than the entry's Size")
        self.failed(results, "Shorter", "shorter than the entry's Size")
        self.assertEqual(self.installs(), [])
        self.assertEqual([n for n in os.listdir(self.downloads) if n != "tool.exe.part"], [])

    def test_unreachable_and_hostile_downloads_fail_with_their_url(self):
        url = self.nginx()
        data = self.serve("tool.exe", installer(self.log))
        closed = f"http://127.0.0.1:{servers.free_port()}/tool.exe"
        # A label of 64 characters: the resolver refuses the name without
        # asking any server.
        unresolvable = f"http://{'a' * 64}.invalid/tool.exe"
        rows = {
            "Missing": (f"{url}/missing.exe", "HTTP 404"),
            "Broken": (f"{self.fault.url}/status/500/tool.exe", "HTTP 500"),
            "Refused": (closed, closed),
            "Unresolvable": (unresolvable, unresolvable),
            "Loop": (f"{self.fault.url}/redirect/6/tool.exe", "more than 5 redirects"),
            "Ftp": ("ftp://127.0.0.1/tool.exe", "no http: or https: URL"),
            "File": ("file:///etc/passwd", "no http: or https: URL"),
            "Dots": (f"{url}/%2E%2E", "names no file"),
            "Slash": (f"{url}/a%2Fb.exe", "names no file"),
            "Nul": (f"{url}/a%00.exe", "names no file"),
            "Control": (f"{url}/a%1B.exe?x=1", "names no file"),
            "Empty": (f"{url}/?file=a.exe", "names no file"),
        }
        for name, (location, _) in rows.items():
            self.entry(name, location, data)
        self.entry("Redirected", f"{self.fault.url}/redirect/5/tool.exe", data)
        self.entry("Unsized", f"{url}/tool.exe", data, size="")
        self.entry("Unchecked", f"{url}/tool.exe", data, digest="")
        self.record({n: "1.0" for n, _ in self.entries})
        results = self.update(status=1)
        for name, (location, words) in rows.items():
            self.failed(results, name, words)
            if name in ("Missing", "Broken", "Refused", "Unresolvable", "Loop"):
                self.assertIn(location, results[name]["Reason"])
        self.failed(results, "Unsized", "no Size")
        self.failed(results, "Unchecked", "neither a SHA256 nor an MD5")
        self.assertEqual(results["Redirected"]["Result"], "installed", results["Redirected"])
        self.assertEqual(len(self.installs()), 1)

    def test_https_with_a_private_authority(self):
        authority, certificate = servers.make_authority(self.dir)
        stranger = os.path.join(self.dir, "stranger")
        os.mkdir(stranger)
        other_authority, _ = servers.make_authority(stranger)
        tls = servers.FaultServer(self.files, tls=certificate, plain_url=self.fault.url)
        self.addCleanup(tls.stop)
        data = self.serve("tool.exe", installer(self.log))
        self.entry("Tool", f"{tls.url}/files/tool.exe", data)
        self.entry("Down", f"{tls.url}/to-http/tool.exe", data)
        self.record({"Tool": "1.0", "Down": "1.0"})
        self.failed(self.update("--only", "Tool", status=1), "Tool", tls.url)
        self.failed(self.update("--only", "Tool", "--ca-file", other_authority, status=1), "Tool",
                    tls.url)
        results = self.update("--ca-file", authority, status=1)
        self.assertEqual(results["Tool"]["Result"], "installed", results["Tool"])
        self.failed(results, "Down", "from HTTPS only to HTTPS")

    def test_no_installer_runs_unless_a_key_or_allow_unsigned(self):
        data = self.serve("tool.exe", installer(self.log))
        self.entry("Tool", f"{self.fault.url}/files/tool.exe", data)
        self.record({"Tool": "1.0"})
        result = subprocess.run([*self.cli, "update"], env=self.env, capture_output=True,
                                text=True, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn("PovUpdate.pub", result.stderr)
        self.assertIn("--allow-unsigned", result.stderr)
        self.assertEqual((self.installs(), self.fault.requests), ([], []))

    @linux_only
    def test_fetch_puts_in_place_only_what_verifies_and_refuses_a_rollback(self):
        def cli(*args, status=0):
            result = subprocess.run([*self.cli, *args], env=self.env, capture_output=True,
                                    text=True, timeout=60)
            self.assertEqual(result.returncode, status, result.stdout + result.stderr)
            return result
        key, public = os.path.join(self.dir, "private.pem"), os.path.join(self.dir, "PovUpdate.pub")
        cli("key", "new", key, public)
        data = self.serve("tool.exe", installer(self.log))
        self.entry("Tool", f"{self.fault.url}/files/tool.exe", data)
        self.record({"Tool": "1.0"})
        site = os.path.join(self.dir, "site")
        os.makedirs(site)
        for serial in (3, 5):
            signed = os.path.join(site, self.update_name)
            shutil.copy(os.path.join(self.dir, self.update_name), signed)
            cli("sign", signed, "--key", key, "--serial", str(serial))
            with open(signed, "rb") as file:
                self.serve(f"serial{serial}.ini", file.read())
        self.serve("tampered.ini", self.files["serial5.ini"].replace(b"Version=2.0", b"Version=9"))
        current = os.path.join(self.dir, self.update_name)
        fetched = json.loads(cli("fetch", "--json", f"{self.fault.url}/files/serial5.ini").stdout)
        self.assertEqual(fetched, {"File": self.update_name,
                                   "From": f"{self.fault.url}/files/serial5.ini", "Verified": True})
        with open(current, "rb") as file:
            self.assertEqual(file.read(), self.files["serial5.ini"])
        refused = cli("fetch", "--json", f"{self.fault.url}/files/serial3.ini", status=1)
        self.assertIn("rollback", refused.stderr)
        self.assertEqual(json.loads(refused.stdout)["code"], 1)
        self.assertIn("rollback", json.loads(refused.stdout)["message"])
        # The accepted serial is the host's own state, apart from the library's store.
        serials = os.path.join(self.dir, "state", "povupdate", "accepted-serials")
        with open(serials) as file:
            self.assertEqual(file.read(), f"5 {self.update_name}\n")
        self.assertEqual(os.stat(os.path.dirname(serials)).st_mode & 0o777, 0o700)
        cli("fetch", f"{self.fault.url}/files/tampered.ini", status=1)
        cli("fetch", f"{self.fault.url}/status/404/x.ini", status=1)
        with open(current, "rb") as file:
            self.assertEqual(file.read(), self.files["serial5.ini"])
        self.assertEqual([n for n in os.listdir(self.dir) if "fetched" in n], [])
        # A key vouches for the file: the update runs its installer unasked.
        result = subprocess.run([*self.cli, "update", "--json", "--from",
                                 f"{self.fault.url}/files/serial5.ini"], env=self.env,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(self.recorded("Tool"), "2.0")

    @linux_only
    def test_failed_installer_and_full_disk_record_nothing(self):
        self.serve("fails.exe", installer(self.log, status=3))
        big = self.serve("big.exe", installer(self.log) + b"#" * (2 << 20))
        self.entry("Fails", f"{self.fault.url}/files/fails.exe", self.files["fails.exe"])
        self.entry("Big", f"{self.fault.url}/files/big.exe", big)
        self.record({"Fails": "1.0", "Big": "1.0"})

        def small_disk():
            # Writes past 1 MiB fail as on a full disk (EFBIG, not a signal).
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))
        results = self.update(status=1, preexec_fn=small_disk)
        self.failed(results, "Fails", "exit status 3")
        self.failed(results, "Big", "can't be written")
        self.assertEqual(len(self.installs()), 1)

    def test_zip_overlays_the_target_and_members_stay_beneath_it(self):
        def native(path):
            return self.windows_path(path) if RUNNER else path
        target = os.path.join(self.dir, "Pack")
        outside = os.path.join(self.dir, "outside")
        os.makedirs(outside)
        os.makedirs(os.path.join(target, "bin"))
        for name, data in (("bin/run", "old"), ("keep", "mine")):
            with open(os.path.join(target, name), "w") as file:
                file.write(data)
        os.symlink(outside, os.path.join(target, "linked"))
        link = io.BytesIO()
        with zipfile.ZipFile(link, "w") as archive:
            member = zipfile.ZipInfo("ok/link")
            member.external_attr = (0o120777 << 16)
            archive.writestr(member, "/etc")
        rows = {"Escape": zip_bytes({"fine": b"1", "../escaped": b"2"}),
                "Drive": zip_bytes({"fine": b"1", "C:/x": b"2"}),
                "Device": zip_bytes({"fine": b"1", "docs/NUL.txt": b"2"}),
                "Link": link.getvalue(),
                "Through": zip_bytes({"fine": b"1", "linked/x": b"2"})}
        for name, data in rows.items():
            self.entry(name, f"{self.fault.url}/files/{name}.zip", self.serve(f"{name}.zip", data),
                       kind="zip", path=native(target))
        pack = self.serve("pack.zip", zip_bytes({"bin/run": b"new", "README": b"r2"}))
        self.entry("Pack", f"{self.fault.url}/files/pack.zip", pack, kind="ZIP",
                   path=native(target).replace("/", "\\"))
        self.record({n: "1.0" for n in rows} | {"Pack": "2.0-rc1"})
        results = self.update(status=1)
        self.failed(results, "Escape", "leads out")
        self.failed(results, "Drive", "':'")
        self.failed(results, "Device", "reserves")
        self.failed(results, "Link", "link")
        self.failed(results, "Through", "link")
        self.assertEqual(results["Pack"]["Result"], "installed", results["Pack"])
        self.assertEqual(sorted(os.listdir(target)), ["README", "bin", "keep", "linked"])
        for name, data in (("bin/run", "new"), ("keep", "mine")):
            with open(os.path.join(target, name)) as file:
                self.assertEqual(file.read(), data)
        self.assertEqual(os.listdir(outside), [])
        self.assertFalse([n for n in os.listdir(self.dir) if "povupdate-" in n])

    def start_update(self):
        return subprocess.Popen([POVUPDATE, "update", "--allow-unsigned", "--quiet"],
                                env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)

    def wait_for_installs(self, count):
        deadline = time.monotonic() + 30
        while len(self.installs()) < count:
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)

    @linux_only
    def test_killed_mid_download_the_next_run_resumes(self):
        data = self.serve("big.exe", installer(self.log) + b"#" * 300000)
        self.entry("Big", f"{self.fault.url}/stall/big.exe", data)
        self.record({"Big": "1.0"})
        killed = self.start_update()
        part = os.path.join(self.downloads, "big.exe.part")
        deadline = time.monotonic() + 30
        while not os.path.exists(part) or os.path.getsize(part) == 0:
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)
        killed.kill()
        killed.communicate()
        self.fault.release.set()
        self.assertEqual(self.update()["Big"]["Result"], "installed")
        self.assertEqual(self.fault.requests[0], ("/stall/big.exe", None))
        self.assertTrue(self.fault.requests[1][1].startswith("bytes="), self.fault.requests)
        self.assertEqual(len(self.installs()), 1)

    @linux_only
    def test_one_update_at_a_time_even_when_killed(self):
        data = self.serve("slow.exe", installer(self.log, pause=2))
        self.entry("Slow", f"{self.fault.url}/files/slow.exe", data)
        self.record({"Slow": "1.0"})
        first = self.start_update()
        self.wait_for_installs(1)
        second = self.start_update()
        self.assertEqual(first.wait(30), 0)
        self.assertEqual(second.wait(30), 0)
        self.assertIn("waiting", second.stderr.read())
        self.assertEqual(len(self.installs()), 1)
        self.assertEqual(self.recorded("Slow"), "2.0")

        # Killed while its installer runs: the installer keeps the lock, and
        # the version is not recorded, so the next run installs again.
        self.record({"Slow": "1.0"})
        killed = self.start_update()
        self.wait_for_installs(2)
        killed.kill()
        killed.wait()
        again = self.start_update()
        self.assertEqual(again.wait(30), 0)
        self.assertIn("waiting", again.stderr.read())
        self.assertEqual(len(self.installs()), 3)
        self.assertEqual(self.recorded("Slow"), "2.0")
        for process in (first, second, killed, again):
            process.stdout.close()
            process.stderr.close()


    def test_windows_runs_the_installer_and_reports_a_restart(self):
        if not RUNNER:
            self.skipTest("the Windows program")
        url = self.nginx()
        data = self.serve("setup.exe", installer(self.log))
        self.entry("Tool", f"{url}/setup.exe", data, kind="1",
                   parameters='/S "/D=C:\\Program Files\\x" q\\"d')
        self.record({"Tool": "1.0"})
        # The update file comes from the server, unsigned (no key here).
        with open(os.path.join(self.dir, self.update_name), "rb") as file:
            self.serve("Update.ini", file.read())
        self.entries.clear()
        self.entry("Other", f"{url}/setup.exe", data)
        self.env["POVUPDATE_TEST_STATUS"] = "3010"
        results = self.update("--from", f"{self.fault.url}/files/Update.ini")
        self.assertEqual(list(results), ["Tool"])
        self.assertEqual(results["Tool"]["Result"], "installed", results["Tool"])
        self.assertTrue(results["Tool"]["RestartNeeded"])
        self.assertTrue(results["Tool"]["ChosenByExtension"])
        self.assertEqual(self.installs(), ['[/S][/D=C:\\Program Files\\x][q"d]'])
        self.assertEqual(self.recorded("Tool"), "2.0")


if __name__ == "__main__":
    POVUPDATE = os.path.abspath(sys.argv.pop(1))
    if len(sys.argv) > 2:
        INSTALLER = os.path.abspath(sys.argv.pop(1))
        RUNNER = sys.argv.pop(1)
    unittest.main()
