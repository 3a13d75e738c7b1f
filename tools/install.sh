#!/bin/sh
# Installs the plug-ins and tools of a build, stripped of debug information, and keeps a manifest
# of every path it wrote, so that uninstall removes exactly those and nothing else.
#
#   tools/install.sh install BUILD PREFIX VST_DIR LV2_DIR ITEM...
#   tools/install.sh uninstall PREFIX
#
# An ITEM is KIND:NAME:
#   plugin:NAME   BUILD/NAME (a shared library) into VST_DIR
#   lv2:NAME      the bundle BUILD/lv2/NAME (a folder) into LV2_DIR
#   tool:NAME     BUILD/bin/NAME (a program) into PREFIX/bin
# Another kind is one more case in install_item. The folders an install makes are recorded too
# and removed when empty.
# The manifest is PREFIX/share/qrx/installed.txt: one absolute path a line, folders ending in "/".
set -eu

manifest_of() { echo "$1/share/qrx/installed.txt"; }

absolute() {
    case $1 in /*) echo "$1" ;; *) echo "$(pwd)/$1" ;; esac
}

record() { echo "$1" >>"$MANIFEST.new"; }

# make_folder FOLDER: makes it and the folders above it that are missing, and records those.
make_folder() {
    missing=""
    d=$1
    while [ ! -d "$d" ]; do
        missing="$d
$missing"
        d=$(dirname "$d")
    done
    printf '%s' "$missing" | while read -r m; do
        [ -n "$m" ] || continue
        mkdir "$m"
        echo "$m/" >>"$FOLDERS"
    done
}

# install_file SOURCE TARGET MODE: copies, strips debug information from the copy, records it.
install_file() {
    [ -f "$1" ] || { echo "install: $1 is missing (build first)" >&2; exit 1; }
    make_folder "$(dirname "$2")"
    tmp="$2.installing.$$"
    cp "$1" "$tmp"
    strip --strip-debug "$tmp"
    chmod "$3" "$tmp"
    mv -f "$tmp" "$2"
    record "$2"
    echo "installed $2"
}

# install_tree SOURCE TARGET: a folder with all it holds (files stripped when they are ELF). It is
# put together beside TARGET and then put in its place, so a host scanning meanwhile sees the old
# folder or the new one, never half of one.
install_tree() {
    [ -d "$1" ] || { echo "install: $1 is missing (build first)" >&2; exit 1; }
    make_folder "$(dirname "$2")"
    tmp="$(dirname "$2")/.$(basename "$2").installing.$$"
    rm -rf "$tmp"
    cp -R "$1" "$tmp"
    (cd "$tmp" && find . -type f) | while read -r f; do
        strip --strip-debug "$tmp/$f" 2>/dev/null || true
        record "$2/${f#./}"
    done
    (cd "$tmp" && find . -mindepth 1 -type d) | while read -r d; do record "$2/${d#./}/"; done
    record "$2/"
    rm -rf "$2"
    mv "$tmp" "$2"
    echo "installed $2/"
}

install_item() {
    kind=${1%%:*}
    name=${1#*:}
    case $kind in
        plugin) install_file "$BUILD/$name" "$VST_DIR/$name" 0644 ;;
        lv2) install_tree "$BUILD/lv2/$name" "$LV2_DIR/$name" ;;
        tool) install_file "$BUILD/bin/$name" "$PREFIX/bin/$name" 0755 ;;
        *) echo "install: unknown kind of item '$1'" >&2; exit 1 ;;
    esac
}

do_install() {
    BUILD=$1 PREFIX=$(absolute "$2") VST_DIR=$(absolute "$3") LV2_DIR=$(absolute "$4")
    shift 4
    MANIFEST=$(manifest_of "$PREFIX")
    FOLDERS=$(mktemp)
    make_folder "$(dirname "$MANIFEST")"
    # What an earlier install recorded stays recorded.
    : >"$MANIFEST.new"
    [ -f "$MANIFEST" ] && cat "$MANIFEST" >>"$MANIFEST.new"
    for item in "$@"; do install_item "$item"; done
    cat "$FOLDERS" >>"$MANIFEST.new"
    rm -f "$FOLDERS"
    sort -u "$MANIFEST.new" >"$MANIFEST"
    rm -f "$MANIFEST.new"
    echo "the list of installed files is $MANIFEST (make uninstall removes them)"
}

do_uninstall() {
    PREFIX=$(absolute "$1")
    MANIFEST=$(manifest_of "$PREFIX")
    [ -f "$MANIFEST" ] || { echo "uninstall: nothing recorded in $MANIFEST"; return 0; }
    # Files first, then the folders the install made, deepest first, when they are empty.
    folders=$(mktemp)
    grep '/$' "$MANIFEST" >"$folders" || true
    grep -v '/$' "$MANIFEST" | while read -r path; do
        if [ -f "$path" ] || [ -L "$path" ]; then rm -f "$path" && echo "removed $path"; fi
    done
    rm -f "$MANIFEST"
    sort -r "$folders" | while read -r folder; do
        rmdir "$folder" 2>/dev/null && echo "removed $folder" || true
    done
    rm -f "$folders"
}

case ${1:-} in
    install) shift; [ $# -ge 4 ] || { echo "usage: $0 install BUILD PREFIX VST_DIR LV2_DIR ITEM..." >&2; exit 2; }; do_install "$@" ;;
    uninstall) shift; [ $# -eq 1 ] || { echo "usage: $0 uninstall PREFIX" >&2; exit 2; }; do_uninstall "$1" ;;
    *) echo "usage: $0 install BUILD PREFIX VST_DIR LV2_DIR ITEM... | uninstall PREFIX" >&2; exit 2 ;;
esac
