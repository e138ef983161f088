#!/usr/bin/env python3
"""povupdate update against real servers on 127.0.0.1: downloads, checks,
installs and records, and what each fault does.

Usage: update_test.py POVUPDATE
"""
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


def installer(log, status=0, pause=0):
    """A shell script that logs its arguments, one per line between [], and
    exits with `status`."""
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
                        XDG_CACHE_HOME=os.path.join(self.dir, "cache"))
        self.files = {}
        self.fault = servers.FaultServer(self.files)
        self.addCleanup(self.fault.stop)
        self.entries = []
        self.record({})

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
        with open(os.path.join(self.dir, "Update_6.1.ini"), "w", newline="") as file:
            file.write("\r\n".join(lines) + "\r\n")

    def record(self, versions):
        with open(os.path.join(self.dir, "PovConfig_6.1.ini"), "w", newline="") as file:
            for name, version in versions.items():
                file.write(f"[{name}]\r\nVersion={version}\r\n")

    def recorded(self, name):
        return subprocess.run([POVUPDATE, "local", "get", name], env=self.env, capture_output=True,
                              text=True, check=True).stdout.strip()

    def update(self, *args, status=0, **popen):
        result = subprocess.run([POVUPDATE, "update", "--allow-unsigned", "--json", *args],
                                env=self.env, capture_output=True, text=True, timeout=120, **popen)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        return {r["Name"]: r for r in json.loads(result.stdout)["Results"]}

    def installs(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as file:
            return file.read().splitlines()

    def test_update_installs_records_and_removes_the_download(self):
        url = self.nginx()
        tool = self.serve("tool-2.0.exe", installer(self.log))
        pack = self.serve("pack.zip", zip_bytes({"bin/run": b"new", "README": b"r2"}))
        target = os.path.join(self.dir, "apps", "Pack")
        os.makedirs(os.path.join(target, "bin"))
        for name, data in (("bin/run", b"old"), ("keep", b"mine")):
            with open(os.path.join(target, name), "w") as file:
                file.write(data.decode())
        self.entry("Tool", f"{url}/tool-2.0.exe", tool, kind="1",
                   parameters='/S "/D=C:\\Program Files\\x" a\\\\"b c" q\\"d', digest="MD5")
        self.entry("Pack", f"{url}/pack.zip", pack, kind="ZIP", path=target.replace("/", "\\"))
        self.entry("Fresh", f"{url}/tool-2.0.exe", tool, version="1.0")
        self.entry("Current", f"{url}/tool-2.0.exe", tool, version="1.0")
        self.record({"Tool": "1.9", "Pack": "2.0-rc1", "Current": "1.0.0"})

        planned = self.update("--dry-run")
        self.assertEqual(planned["Tool"]["Result"], "would install")
        self.assertEqual(planned["Fresh"]["Result"], "skipped")
        self.assertFalse(os.path.exists(self.downloads))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "registry")))

        results = self.update("--new")
        self.assertEqual({n: r["Result"] for n, r in results.items()},
                         {"Tool": "installed", "Pack": "installed", "Fresh": "installed",
                          "Current": "current"})
        self.assertTrue(results["Tool"]["ChosenByExtension"])
        self.assertEqual(self.installs()[0], '[/S][/D=C:\\Program Files\\x][a\\b c][q"d]')
        self.assertEqual(len(self.installs()), 2)
        with open(os.path.join(target, "bin", "run")) as file:
            self.assertEqual(file.read(), "new")
        with open(os.path.join(target, "keep")) as file:
            self.assertEqual(file.read(), "mine")
        self.assertEqual([self.recorded(n) for n in ("Tool", "Pack", "Fresh")],
                         ["2.0", "2.0", "1.0"])
        self.assertEqual(os.listdir(self.downloads), [])
        self.assertEqual(os.stat(self.downloads).st_mode & 0o777, 0o700)
        again = self.update()
        self.assertEqual({r["Result"] for r in again.values()}, {"current"})


if __name__ == "__main__":
    POVUPDATE = os.path.abspath(sys.argv.pop(1))
    unittest.main()
