#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tallyvox need, when any is
# missing: directly as root, through sudo otherwise. Quiet and quick when all are present.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev
    libx11-dev libxss-dev libxcb1-dev libgtest-dev libgmock-dev libbenchmark-dev
    # end-to-end tests and the private display of `make run`
    xvfb openbox trayer xdotool xclip x11-utils imagemagick dbus-x11
    wmctrl
    # Tahoma for the window and its dialogs where no Tahoma is installed
    fonts-wine
    # Wayland: the idle protocol's client code, and the tests on a real compositor with fake
    # desktop services (portal, tray watcher) on a private bus
    qt6-wayland libwayland-dev libwayland-bin wayland-protocols xdg-desktop-portal-dev weston
    python3-dbus python3-gi
    # fuzzing and sanitizers, and the formatting check of CI
    clang clang-format
    # the Debian package of `make package` (dpkg-shlibdeps) and the check of its AppStream data
    dpkg-dev appstream
)

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
