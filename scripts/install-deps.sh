#!/usr/bin/env bash
# Installs, with apt-get, every Debian package that building, running and testing kestrane
# needs and that is not installed yet. Needs root (or sudo).
set -euo pipefail

packages=(
    # toolchain
    g++ cmake ninja-build pkg-config clang libclang-rt-14-dev
    # Qt 6 Widgets and the X11 pieces the flash window and the tray use
    qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev libx11-dev libxext-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # a real X server, window manager and tray host for end-to-end tests and headless starts
    xvfb openbox trayer xdotool x11-utils imagemagick fonts-dejavu-core fonts-liberation
    # the real-input tests read the panel's boxes and message boxes through the clipboard and
    # give the letters they type keys of their own
    xclip x11-xserver-utils
    # packages: building (cpack's .deb with its dependencies) and checking them
    dpkg-dev file lintian desktop-file-utils appstream
    # under XWayland the Present extension tells when the compositor has shown a change, and
    # RandR's output names tell XWayland from other X servers
    libxpresent-dev libxrandr-dev
    # session tests: sway with XWayland, its screen capture, a native window beneath the
    # messages and a virtual pointer of our own (wayland-scanner makes its protocol code)
    sway grim libwayland-dev libwayland-bin
    # the screen's changes seen by the flash window, and the compositing managers it is
    # tested and measured under (GNOME's, KDE's, picom, xcompmgr; the first two need D-Bus)
    libxdamage-dev mutter kwin-x11 picom xcompmgr dbus
    # Wayland sessions: GNOME's compositor and weston with XWayland, and Qt's Wayland plugin,
    # which kestrane must not choose there
    weston xwayland qt6-wayland
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: everything is installed"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
