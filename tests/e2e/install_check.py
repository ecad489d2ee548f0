#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Installs the build into a scratch root and checks what lands where; with --package SITE,
also builds the Debian package and checks it as a distribution would (lintian, the desktop
entry and AppStream validators), and that its program has no update check while the build's
own program asks SITE.

usage: install_check.py BUILD_DIR [--package SITE]
"""

import configparser
import glob
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
    "usr/share/man/man1/tallyvox.1.gz",
]
PACKAGE_ONLY = ["usr/share/doc/tallyvox/copyright", "usr/share/doc/tallyvox/changelog.Debian.gz",
                "usr/share/lintian/overrides/tallyvox"]
MENU = "usr/share/applications/tallyvox.desktop"
META = "usr/share/metainfo/com.vostrak.Tallyvox.metainfo.xml"


def entry(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


def tool(argv, what, failures):
    """Runs a checker; its complaints (or its absence) are failures."""
    if shutil.which(argv[0]) is None:
        failures.append(f"{argv[0]} is not installed (scripts/install-deps.sh test)")
        return
    res = subprocess.run(argv, capture_output=True, text=True)
    # desktop-file-validate ends with 0 after a warning; only its hints are fine.
    if res.returncode or ": error: " in res.stdout or ": warning: " in res.stdout:
        failures.append(f"{what}: {(res.stdout + res.stderr).strip()}")


def files_under(root):
    return sorted(os.path.relpath(os.path.join(d, f), root)
                  for d, _, files in os.walk(root) for f in files)


def check_package(build, site, scratch, failures):
    """Builds the .deb, runs lintian on it and the validators on what it installs."""
    res = subprocess.run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"),
                          "-G", "DEB", "-B", scratch], capture_output=True, text=True)
    debs = glob.glob(os.path.join(scratch, "*.deb"))
    if res.returncode or len(debs) != 1:
        failures.append(f"cpack: {(res.stdout + res.stderr).strip()[-2000:]}")
        return
    tool(["lintian", "--fail-on", "error,warning", "--tag-display-limit", "0", debs[0]],
         "lintian", failures)
    root = os.path.join(scratch, "root")
    subprocess.run(["dpkg-deb", "-x", debs[0], root], check=True)
    installed = files_under(root)
    if installed != sorted(EXPECTED + PACKAGE_ONLY):
        failures.append(f"package files {installed}, expected {sorted(EXPECTED + PACKAGE_ONLY)}")
    tool(["desktop-file-validate", os.path.join(root, MENU)], "packaged desktop entry", failures)
    tool(["appstreamcli", "validate", "--no-net", os.path.join(root, META)],
         "packaged AppStream data", failures)
    depends, recommends = (subprocess.run(["dpkg-deb", "-f", debs[0], field], capture_output=True,
                                          text=True).stdout for field in ("Depends", "Recommends"))
    if any(n in depends or n not in recommends for n in ("fonts-wine", "qt6-wayland")):
        failures.append(f"fonts-wine and qt6-wayland are not just recommended: {depends!r}")
    with open(os.path.join(root, "usr/bin/tallyvox"), "rb") as f:
        packaged = f.read()
    with open(os.path.join(build, "tallyvox"), "rb") as f:
        own = f.read()
    if site and site.encode() in packaged:
        failures.append(f"the packaged program still asks {site} for new versions")
    if site and site.encode() not in own:
        failures.append(f"the build's own program lost its update site {site}")


def main():
    build = sys.argv[1]
    package_site = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--package" else None
    failures = []
    root = tempfile.mkdtemp(prefix="tallyvox-install-")
    try:
        res = subprocess.run(["cmake", "--install", build, "--prefix", "/usr"],
                             env={**os.environ, "DESTDIR": root}, capture_output=True, text=True)
        if res.returncode:
            print(f"FAILED: cmake --install: {res.stderr.strip()}")
            return 1
        installed = files_under(root)
        if installed != sorted(EXPECTED):
            failures.append(f"installed files {installed}, expected {sorted(EXPECTED)}")
        if not os.access(os.path.join(root, "usr/bin/tallyvox"), os.X_OK):
            failures.append("usr/bin/tallyvox is not executable")
        menu = entry(os.path.join(root, "usr/share/applications/tallyvox.desktop"))
        checks = [
            (menu.get("Type"), "Application"), (menu.get("Exec"), "tallyvox"),
            (menu.get("Icon"), "tallyvox"),
            ("ProjectManagement" in menu.get("Categories", "").split(";"), True),
        ]
        tool(["desktop-file-validate", os.path.join(root, MENU)], "desktop entry", failures)
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
        if package_site is not None:
            check_package(build, package_site, os.path.join(root, "package"), failures)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    for failure in failures:
        print(f"FAILED: {failure}")
    if not failures:
        print(f"PASSED: {len(installed)} files installed where expected, desktop entries and "
              "icons checked" + (", package checked" if package_site is not None else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
