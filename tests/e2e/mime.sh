#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate, and the MIME package makes the desktop's MIME
# database give *.trelmo files the show type that the entry opens.
#   mime.sh <resources folder>
set -euo pipefail
resources=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "$1"; exit 1; }

desktop-file-validate "$resources/trelmo.desktop" || fail "desktop-file-validate reports errors"
type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$resources/io.github.trelmo.Trelmo.mime.xml")
grep -qx "MimeType=$type;" "$resources/trelmo.desktop" || fail "the desktop entry does not open $type"
grep -qx 'Exec=trelmo %f' "$resources/trelmo.desktop" || fail "the desktop entry passes no file"

mkdir -p "$dir/mime/packages"
cp "$resources/io.github.trelmo.Trelmo.mime.xml" "$dir/mime/packages/"
XDG_DATA_HOME="$dir" update-mime-database "$dir/mime"
grep -qx "$type:\*\.trelmo" "$dir/mime/globs" || fail "*.trelmo is not $type: $(cat "$dir/mime/globs")"
echo "the desktop entry and the MIME type of show files are valid"
