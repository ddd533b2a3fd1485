#!/usr/bin/env bash
# Builds the Debian package, checks its contents and lintian's verdict, unpacks it into a
# temporary root and runs the installed program from its read-only folder: it shows its window,
# takes the Settings.xml beside it as the starting point and saves in its configuration folder.
#   package.sh <source folder> <package build folder>
set -euo pipefail
. "$(dirname "$0")/trelmo-windows.sh"
source=$1
build=$2
dir=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "$1"; exit 1; }

deb=$("$source/scripts/package" "$build" | tail -n1)
[ -f "$deb" ] || fail "no package was built"
dpkg-deb -c "$deb" | awk '{print $1, $NF}' >"$dir/contents"
cat "$dir/contents"

has() { grep -qx -- "$1 ./$2" "$dir/contents" || fail "the package lacks $2 (mode $1)"; }
has -rwxr-xr-x usr/bin/trelmo
has -rw-r--r-- usr/lib/trelmo/libtrelmo-app.so
has -rw-r--r-- usr/share/applications/trelmo.desktop
has -rw-r--r-- usr/share/mime/packages/io.github.trelmo.Trelmo.xml
has -rw-r--r-- usr/share/icons/hicolor/scalable/apps/trelmo.svg
has -rw-r--r-- usr/share/trelmo/manual/index.html
has -rw-r--r-- usr/share/man/man1/trelmo.1.gz
has -rw-r--r-- usr/share/metainfo/io.github.trelmo.Trelmo.metainfo.xml
has -rw-r--r-- usr/share/doc/trelmo/copyright
# Every picture and style sheet that the manual names is in the package.
for file in $(grep -o -E '(src|href)="[^"#:]+"' "$source/doc/manual/index.html" | cut -d'"' -f2); do
    has -rw-r--r-- "usr/share/trelmo/manual/$file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libpulse0 libavformat59 libpugixml1v5; do
    [[ "$depends" == *"$library "* ]] || fail "Depends does not name $library: $depends"
done
echo "contents and dependencies as expected"

lintian --fail-on error "$deb" || fail "lintian reports errors"
echo "lintian reports no errors"

installed="$dir/root"
dpkg -x "$deb" "$installed"
appstreamcli validate --no-net "$installed/usr/share/metainfo/io.github.trelmo.Trelmo.metainfo.xml"
desktop-file-validate "$installed/usr/share/applications/trelmo.desktop" || fail "desktop-file-validate reports errors"
zcat "$installed/usr/share/man/man1/trelmo.1.gz" | grep -q '^\.SH ENVIRONMENT' || fail "man page lacks ENVIRONMENT"

# A Settings.xml with one cue beside the installed program is the starting point.
printf '%s\r\n' '<?xml version="1.0" encoding="UTF-8"?>' '<Production>' '  <Windows>' \
    '    <Main Top="100" Left="100" Height="400" Width="600"/>' '  </Windows>' '  <CueList>' \
    '    <Cue>' '      <UID>1</UID>' '      <Description>Door bell</Description>' \
    '      <AudioChannel>1</AudioChannel>' '      <Volume-dB>-6</Volume-dB>' '      <Pan>0</Pan>' \
    '      <Pitch>100</Pitch>' '      <Loop>0</Loop>' '    </Cue>' '  </CueList>' >"$dir/expected"
printf '%s' '</Production>' >>"$dir/expected"
bin="$installed/usr/bin"
cp "$dir/expected" "$bin/Settings.xml"

export XDG_CONFIG_HOME="$dir/config"
export HOME="$dir/home"
# The installed folder is read-only for the program: a read-only bind for root, who may write
# anywhere, the folder's mode for anyone else.
if [ "$(id -u)" -eq 0 ]; then
    unshare --mount sh -c 'mount --bind -o ro "$1" "$1" && exec "$1/trelmo"' sh "$bin" &
else
    chmod a-w "$bin"
    "$bin/trelmo" &
fi
pid=$!
trelmo_windows "$pid" >/dev/null || fail "the installed program showed no window"
kill -TERM "$pid"
timeout 30 tail --pid="$pid" -f /dev/null || fail "the installed program did not end after SIGTERM"
set +e
wait "$pid"; code=$?
set -e
pid=""
[ "$code" -eq 0 ] || fail "exit code $code"
chmod u+w "$bin"
cmp "$XDG_CONFIG_HOME/trelmo/Settings.xml" "$dir/expected" \
    || fail "the settings were not saved in the configuration folder from the starting point"
cmp "$bin/Settings.xml" "$dir/expected" || fail "the Settings.xml beside the program was changed"
[ "$(ls "$bin")" = "$(printf 'Settings.xml\ntrelmo')" ] || fail "files were written beside the program"
echo "the installed program saved its settings in $XDG_CONFIG_HOME/trelmo"
