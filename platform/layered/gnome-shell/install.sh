#!/bin/sh
# Installs kestrane's GNOME Shell extension into the user's extensions folder (the folder for
# the shell that runs here: GNOME Shell 43 and 44 take legacy/, 45 and later module/) and
# enables it. The shell loads a newly installed extension at its next start (log out and in
# again on Wayland); until then kestrane flashes through XWayland.
#   install.sh [--no-enable]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
uuid=flash@kestrane.org
major=$(gnome-shell --version 2>/dev/null | sed -n 's/^GNOME Shell \([0-9]*\).*/\1/p')
if [ -z "$major" ]; then
    echo "install.sh: no gnome-shell here; installing the extension for GNOME Shell 45 and later" >&2
    major=45
fi
entry=module
[ "$major" -lt 45 ] && entry=legacy
target="${XDG_DATA_HOME:-$HOME/.local/share}/gnome-shell/extensions/$uuid"
mkdir -p "$target"
cp "$here/$entry/$uuid/extension.js" "$here/$entry/$uuid/metadata.json" "$target/"
echo "install.sh: installed the extension in $target"
[ "${1:-}" = --no-enable ] && exit 0
# Through the running shell where it knows the extension already, else in the shell's settings,
# which it reads at its next start.
if gnome-extensions enable "$uuid" 2>/dev/null; then
    echo "install.sh: enabled"
    exit 0
fi
current=$(gsettings get org.gnome.shell enabled-extensions 2>/dev/null) || {
    echo "install.sh: enable it with: gnome-extensions enable $uuid" >&2
    exit 0
}
case "$current" in
    *"'$uuid'"*) wanted=$current ;;
    "@as []" | "[]") wanted="['$uuid']" ;;
    *) wanted="${current%]}, '$uuid']" ;;
esac
gsettings set org.gnome.shell enabled-extensions "$wanted"
echo "install.sh: enabled; GNOME Shell takes it up at its next start (log out and in again)"
