# Sourced by the e2e scripts: makes a copy of the program in a fresh folder laid out as
# installed (bin/trelmo, lib/trelmo/ with the application library) and sets top (the fresh
# folder, to be removed at the end) and dir (the program's own folder, where Settings.xml lives).
top=$(mktemp -d)
dir="$top/bin"
mkdir "$dir"
cp "$program" "$dir/trelmo"
ln -s "$(cd "$(dirname "$program")/../lib" && pwd)" "$top/lib"
