#!/usr/bin/env bash
# Remakes every picture under Images/ and the menu icons under packaging/icons/: builds the
# generator, draws the pictures as PNG on Qt's offscreen platform, and converts them with
# ImageMagick to the names and formats the control panel loads.
#
#   tools/artwork/make-artwork.sh [build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${1:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target make_artwork >/dev/null
png=$(mktemp -d)
trap 'rm -rf "$png"' EXIT
QT_QPA_PLATFORM=offscreen "$build/tools/artwork/make_artwork" "$png"

out="$root/Images"
mkdir -p "$out"
# convert_to <png file> <file under Images/>
convert_to() {
    case "$2" in
        *.jpg) convert "$1" -quality 95 -sampling-factor 1x1 "$out/$2" ;;
        *.gif) convert "$1" +dither -colors 255 "$out/$2" ;;
        *.png) cp "$1" "$out/$2" ;;
    esac
}
# ship <png name> <file under Images/>: the picture, and the one for scaled screens drawn at
# twice the size ("startbut@2x.jpg") where the generator made one.
ship() {
    convert_to "$png/$1.png" "$2"
    if [ -e "$png/$1@2x.png" ]; then
        convert_to "$png/$1@2x.png" "${2%.*}@2x.${2##*.}"
    fi
}

ship background background.jpg
ship setup_background setupback.jpg
ship programs_background programsback.jpg
ship about_artwork aboutart.jpg
ship kestrane kestrane.png
ship tray tray.png

ship startbut startbut.jpg
ship stopbut stopbut.jpg
ship Testbut Testbut.jpg
ship stopbut2 stopbut2.jpg

ship setuptab setuptab.gif
ship setuptab_mouse setuptab_mouse.jpg
ship Programstab Programstab.gif
ship Programstab_mouse Programstab_mouse.jpg
ship about about.gif
ship about_mouse about_mouse.jpg

ship hide hide.gif
ship close close.gif
ship spinup spinup.gif
ship spindown spindown.gif
for b in viewscript color font; do
    ship "$b" "$b.jpg"
    ship "${b}_mouse" "${b}_mouse.jpg"
    ship "${b}_disable" "${b}_disable.jpg"
done
ship help help.gif
ship getprograms getprograms.gif

ship createbut createbut.gif
ship resetbut resetbut.gif
ship renamebut renamebut.gif
ship renamebut_disable renamebut_disable.gif
ship deletebut deletebut.jpg
ship deletebut deletebut.gif
ship deletebut_disable deletebut_disable.gif
ship importbut importbut.jpg
ship addbut addbut.gif
ship addbut_disable addbut_disable.gif
ship updatebut updatebut.jpg
ship updatebut_disable updatebut_disable.jpg
ship excludebut excludebut.gif
ship excludebut_disable excludebut_disable.gif
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$root/packaging/icons/$size"
    cp "$png/icon_$size.png" "$root/packaging/icons/$size/kestrane.png"
done
echo "make-artwork: pictures written to $out and $root/packaging/icons"
