#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that are not installed yet, for one of:
#   build    building and running kestrane (the default of scripts/start.sh)
#   display  a virtual display to start it on where there is none: X server, window manager,
#            tray host and what takes the screenshot
#   test     everything the tests and benchmarks need: the above, the compositors and Wayland
#            sessions they run under, the test toolchain and the package checkers (the default)
# Needs root (or sudo).
set -euo pipefail
what="${1:-test}"

build=(
    # toolchain
    g++ cmake ninja-build pkg-config
    # Qt 6 Widgets and the X11 pieces the flash window and the tray use
    qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev libx11-dev libxext-dev
    libxdamage-dev
    # the program's own X connection that follows the active window's full-screen state
    libxcb1-dev
    # GNOME's Do Not Disturb setting, read and followed through GSettings
    libglib2.0-dev
    # under XWayland the Present extension tells when the compositor has shown a change, and
    # RandR's output names tell XWayland from other X servers
    libxpresent-dev libxrandr-dev
    # the flash on a layer-shell overlay of a Wayland connection of its own (libwayland-client,
    # wayland-scanner)
    libwayland-dev libwayland-bin
    # KWin's window management protocol, whose windows' states tell of full-screen windows
    plasma-wayland-protocols
    # a typeface for the panel and the letters
    fonts-dejavu-core
)
display=(
    xvfb openbox trayer xdotool x11-utils imagemagick
)
test=(
    # the fuzz targets are built with clang
    clang libclang-rt-14-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev fonts-liberation
    # the real-input tests read the panel's boxes and message boxes through the clipboard and
    # give the letters they type keys of their own
    xclip x11-xserver-utils
    # a real full-screen window in the quiet tests (wmctrl sets _NET_WM_STATE_FULLSCREEN)
    wmctrl
    # a PipeWire daemon of the quiet tests' own, with a stand-in screen-share stream
    pipewire pipewire-bin
    # packages: building (cpack's .deb with its dependencies) and checking them
    dpkg-dev file lintian desktop-file-utils appstream
    # the Debian source package in debian/: dpkg-buildpackage with dh, and autopkgtest to run
    # its tests of the installed package (debian/tests)
    debhelper autopkgtest
    # the compositing managers the flash window is tested and measured under (GNOME's, KDE's,
    # picom, xcompmgr; the first two need D-Bus)
    mutter kwin-x11 picom xcompmgr dbus
    # reading and watching the program's session-bus interface (gdbus); the stand-ins for
    # logind and the screen saver that lock the session in the tests
    libglib2.0-bin python3-dbus python3-gi
    # Wayland sessions: GNOME's compositor and weston with XWayland, and Qt's Wayland plugin,
    # which kestrane must not choose there
    weston xwayland qt6-wayland
    # the Wayland test drivers and sessions: KDE's compositor (KWin's fake input and screenshot
    # interfaces), mutter's screen cast, which is a PipeWire stream, and sway headless with
    # grim's captures
    kwin-wayland pipewire libpipewire-0.3-dev sway grim
    # GNOME Shell (headless, with kestrane's extension), whose screen cast and remote desktop
    # are mutter's, and its AppIndicator extension for the tray
    gnome-shell gnome-shell-extension-appindicator
    # the notification daemons of sway and other tiling window managers, whose Do Not Disturb
    # the quiet tests set: dunst (dunstctl) and mako (makoctl, which calls busctl and jq)
    dunst mako-notifier jq systemd
)

case "$what" in
    build) packages=("${build[@]}") ;;
    display) packages=("${display[@]}") ;;
    test) packages=("${build[@]}" "${display[@]}" "${test[@]}") ;;
    *)
        echo "install-deps: unknown set '$what' (build, display or test)" >&2
        exit 2
        ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: everything for '$what' is installed"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
