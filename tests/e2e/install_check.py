#!/usr/bin/env python3
"""Installs the build into a scratch root and checks what lands where, as a package would.

usage: install_check.py BUILD_DIR
"""

import configparser
import os
import shutil
import subprocess
import sys
import tempfile

EXPECTED = [
    "usr/bin/tallyvox",
    "usr/share/applications/tallyvox.desktop",
    "usr/share/icons/hicolor/scalable/apps/tallyvox.svg",
    "usr/share/icons/hicolor/16x16/apps/tallyvox.png",
    "usr/share/metainfo/com.vostrak.Tallyvox.metainfo.xml",
    "usr/share/doc/tallyvox/examples/tallyvox.desktop",
]


def entry(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


def main():
    build = sys.argv[1]
    failures = []
    root = tempfile.mkdtemp(prefix="tallyvox-install-")
    try:
        res = subprocess.run(["cmake", "--install", build, "--prefix", "/usr"],
                             env={**os.environ, "DESTDIR": root}, capture_output=True, text=True)
        if res.returncode:
            print(f"FAILED: cmake --install: {res.stderr.strip()}")
            return 1
        installed = sorted(os.path.relpath(os.path.join(d, f), root)
                           for d, _, files in os.walk(root) for f in files)
        if installed != sorted(EXPECTED):
            failures.append(f"installed files {installed}, expected {sorted(EXPECTED)}")
        if not os.access(os.path.join(root, "usr/bin/tallyvox"), os.X_OK):
            failures.append("usr/bin/tallyvox is not executable")
        menu = entry(os.path.join(root, "usr/share/applications/tallyvox.desktop"))
        checks = [
            (menu.get("Type"), "Application"), (menu.get("Exec"), "tallyvox"),
            (menu.get("Icon"), "tallyvox"),
            ("ProjectManagement" in menu.get("Categories", "").split(";"), True),
            ("Utility" in menu.get("Categories", "").split(";"), True),
        ]
        auto = entry(os.path.join(root, "usr/share/doc/tallyvox/examples/tallyvox.desktop"))
        checks.append((auto.get("Exec"), "env TALLYVOX_START_HIDDEN=1 tallyvox"))
        for got, want in checks:
            if got != want:
                failures.append(f"desktop entry value {got!r}, expected {want!r}")
        with open(os.path.join(root, "usr/share/icons/hicolor/16x16/apps/tallyvox.png"),
                  "rb") as f:
            png = f.read()
        if png[:8] != b"\x89PNG\r\n\x1a\n" or png[16:24] != (16).to_bytes(4, "big") * 2:
            failures.append("the 16x16 icon is not a 16x16 PNG")
        if shutil.which("appstreamcli"):
            meta = os.path.join(root, "usr/share/metainfo/com.vostrak.Tallyvox.metainfo.xml")
            res = subprocess.run(["appstreamcli", "validate", "--no-net", meta],
                                 capture_output=True, text=True)
            if res.returncode:
                failures.append(f"AppStream data invalid: {res.stdout.strip()}")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    for failure in failures:
        print(f"FAILED: {failure}")
    if not failures:
        print(f"PASSED: {len(installed)} files installed where expected, desktop entries and "
              "icons checked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
