#!/usr/bin/env bash
# The programs as `cmake --install` puts them, into a temporary DESTDIR under /usr: the layout, the
# front door of the installed acefeedpump, a demo prefix made by the installed ywdata, an import
# of a wholesaler's Jet file (its reader found in lib/catalogsync/), and a visible import under
# Xvfb whose window shows the installed picture; with the picture gone, the window is plain and
# nothing is printed.
#   installed_program_test.sh <build folder> <version> <Jet data file>
set -euo pipefail
build=$1 version=$2 jet=$3
for tool in xvfb-run xwininfo xwd od; do
  command -v "$tool" >/dev/null || { echo "installed program test: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "installed program test: $*" >&2; exit 1; }

root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
expected="usr/bin/acefeedpump
usr/bin/ywdata
usr/lib/catalogsync/catalogsync-jetread
usr/share/catalogsync/acefeedpump.gif
usr/share/doc/catalogsync/changelog.gz
usr/share/doc/catalogsync/copyright
usr/share/man/man1/acefeedpump.1.gz
usr/share/man/man1/ywdata.1.gz"
installed=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed files differ:"$'\n'"$installed"
bin=$root/usr/bin

[ "$("$bin/acefeedpump" --version)" = "acefeedpump $version" ] || fail "acefeedpump --version"
[ "$("$bin/ywdata" --version)" = "ywdata $version" ] || fail "ywdata --version"
"$bin/acefeedpump" --help | grep -q '^Usage: acefeedpump DATAFILE' || fail "acefeedpump --help"

prefix=$work/prefix
ywdata() { "$bin/ywdata" --prefix "$prefix" "$@"; }
current=$prefix/drive_c/YieldWarden/YieldWarden.yw
ywdata env
ywdata current-db "$current" --rows 40 --date 2/1/2007
ywdata full "$prefix/drive_c/DATA/ACEDATA0307.YW" --rows 40 --first-sku 2000000
mkdir -p "$prefix/drive_c/JET"
cp "$jet" "$prefix/drive_c/JET/ACEDATA0307.YW"
log="$prefix/drive_c/Program Files/Yield Warden/YW_VendorData_Install.LOG"
export CATALOGSYNC_PREFIX=$prefix
completed() {
  grep -q '"SetupComplete"="TRUE"' "$prefix/user.reg" && grep -q "Import Completed Successfully" "$log"
}
rows() { ywdata dump "$current" Ace | tail -n +2 | wc -l; }

# The Jet file's 1,000 rows come through the reader installed in lib/catalogsync/, the only one
# there is: nothing lies beside the installed program.
CATALOGSYNC_UI=console "$bin/acefeedpump" 'C:\JET\ACEDATA0307.YW' -s -L </dev/null >"$work/out.txt" 2>&1
completed || { cat "$work/out.txt" "$log"; fail "the Jet import did not complete"; }
[ "$(rows)" -eq 1000 ] || fail "the Jet import left $(rows) rows"

# The colour of the pixel (x, y) of an X window dump, as "R G B".
pixel() {
  local file=$1 x=$2 y=$3
  field() { od -An -tu4 --endian=big -j "$1" -N4 "$file" | tr -d ' '; }
  local header byte_order bits bytes_per_line colours
  header=$(field 0) byte_order=$(field 28) bits=$(field 44) bytes_per_line=$(field 48) colours=$(field 76)
  [ "$bits" -eq 32 ] || fail "a window dump of $bits bits per pixel"
  local b0 b1 b2 b3
  read -r b0 b1 b2 b3 < <(od -An -tu1 -j $((header + colours * 12 + y * bytes_per_line + x * 4)) -N4 "$file")
  if [ "$byte_order" -eq 0 ]; then echo "$b2 $b1 $b0"; else echo "$b1 $b2 $b3"; fi
}

# A visible import of the full file; the window is dumped while it shows.
visible_run() {
  local shot=$1 try
  # A run that fell back to the console could not open the display: the server failed, not the
  # program (a busy machine), so it gets one more try on a fresh server.
  for try in 1 2; do
    show_window "$shot"
    [ -s "$shot" ] || ! head -n 1 "$work/out.txt" | grep -qx 'Yield Warden Data Installer' || [ $try -eq 2 ] || continue
    break
  done
  [ -s "$shot" ] || { cat "$work/out.txt" "$log" >&2; fail "no window captioned \"Yield Warden Data Installer\""; }
  [ ! -s "$work/out.txt" ] || { cat "$work/out.txt" >&2; fail "the visible run printed on the console"; }
  completed || { cat "$log" >&2; fail "the visible import did not complete"; }
}

show_window() {
  local shot=$1
  rm -f "$shot"
  CATALOGSYNC_UI=window EXE="$bin/acefeedpump" SHOT="$shot" OUT="$work/out.txt" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      "$EXE" "C:\\DATA\\ACEDATA0307.YW" -L >"$OUT" 2>&1 &
      pid=$!
      # The window shows once the file is checked; on a busy machine that may take seconds.
      id=""
      while [ -z "$id" ] && [ $SECONDS -lt 60 ] && kill -0 "$pid" 2>/dev/null; do
        sleep 0.05
        id=$(xwininfo -root -tree | awk "/\"Yield Warden Data Installer\"/ { print \$1; exit }")
      done
      [ -n "$id" ] && { sleep 0.5; xwd -id "$id" -silent >"$SHOT"; }
      wait "$pid"'
}

# A point of the picture that no label covers, and the plain window's colour.
x=400 y=200 plain="230 236 244"
visible_run "$work/installed.xwd"
[ "$(pixel "$work/installed.xwd" $x $y)" != "$plain" ] || fail "the installed window shows no picture"
rm "$root/usr/share/catalogsync/acefeedpump.gif"
visible_run "$work/plain.xwd"
[ "$(pixel "$work/plain.xwd" $x $y)" = "$plain" ] || fail "the window without its picture is not plain"
echo "installed program test: the installed programs import, find their reader and their picture"
