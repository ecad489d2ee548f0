#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages of the named groups when any is missing: directly as root,
# through sudo otherwise. Quiet and quick when all are present.
#
# usage: scripts/install-deps.sh GROUP...   (default: run)
#   run       build and start the program (with the private display of `make run`)
#   test      everything `make test` needs beyond `run`: test and benchmark libraries, the
#             end-to-end session tools, the desktop tests' compositor and fake services, the
#             package checks
#   clang     clang for `make fuzz`, `make asan`, `make tsan`, and the formatting check
set -euo pipefail

group_run=(
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev
    libx11-dev libxss-dev libxcb1-dev libsqlite3-dev
    # Wayland: the idle protocols' client code (ext-idle-notify-v1, and org_kde_kwin_idle of
    # older wlroots compositors)
    qt6-wayland libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
    # Tahoma for the window and its dialogs where no Tahoma is installed
    fonts-wine
    # the private display of `make run` on a machine without one
    xvfb openbox trayer x11-utils
)
group_test=(
    libgtest-dev libgmock-dev libbenchmark-dev
    # end-to-end tests
    xdotool xclip imagemagick dbus-x11 wmctrl sqlite3
    # the desktop tests on a real compositor with fake desktop services on a private bus
    xdg-desktop-portal-dev weston python3-dbus python3-gi
    # the accessibility check through the AT-SPI bus
    python3-pyatspi at-spi2-core
    # the Debian package of `make package` and its checks
    dpkg-dev appstream lintian desktop-file-utils
)
group_clang=(clang clang-format)

[ $# -eq 0 ] && set -- run
packages=()
for group in "$@"; do
    case $group in
    run) packages+=("${group_run[@]}") ;;
    test) packages+=("${group_test[@]}") ;;
    clang) packages+=("${group_clang[@]}") ;;
    *) echo "error: unknown package group '$group' (run, test, clang)" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
else
    echo "error: these Debian packages are missing and I cannot install them (not root, no sudo):" >&2
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
