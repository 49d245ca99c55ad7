#!/usr/bin/env bash
# Runs a visible import in the FLTK window under Xvfb, finds the window by its caption while the
# import runs, and saves a screenshot of the screen (X window dump) to the given file.
#   window_test.sh <acefeedpump> <ywdata> <screenshot file>
set -euo pipefail
exe=$1 ywdata=$2 shot=$3
for tool in xvfb-run xwininfo xwd; do
  command -v "$tool" >/dev/null || { echo "window test: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export CATALOGSYNC_PREFIX="$prefix" CATALOGSYNC_UI=window EXE="$exe" SHOT="$shot" OUT="$work/out.txt"

# One visible import on a server of its own; fails when no window showed.
visible_run() {
  rm -rf "$prefix" "$shot"
  "$ywdata" --prefix "$prefix" env
  "$ywdata" --prefix "$prefix" current-db "$prefix/drive_c/YieldWarden/YieldWarden.yw" --rows 40 --date 2/1/2007
  "$ywdata" --prefix "$prefix" full "$prefix/drive_c/DATA/ACEDATA0307.YW" --rows 40
  xvfb-run -a -e "$work/xvfb.log" -s "-screen 0 1024x768x24" bash -c '
    "$EXE" "C:\\DATA\\ACEDATA0307.YW" -L >"$OUT" 2>&1 &
    pid=$!
    # Look for the window for as long as the program runs: a loaded machine may take seconds
    # to start it, and the window stays up until the program ends.
    found="" tree=""
    while kill -0 "$pid" 2>/dev/null; do
      tree=$(xwininfo -root -tree 2>/dev/null || true)
      if grep -q "\"Yield Warden Data Installer\"" <<<"$tree"; then found=yes; break; fi
      sleep 0.05
    done
    if [ -n "$found" ]; then
      grep "\"Yield Warden Data Installer\"" <<<"$tree" | grep -q "497x393" || { echo "window test: the window is not 497x393" >&2; exit 1; }
      sleep 0.5
      xwd -root -silent > "$SHOT"
    fi
    wait "$pid"
    [ -n "$found" ]'
}

if ! visible_run; then
  cat "$OUT" "$work/xvfb.log" >&2 || true
  # A program that could not open the display runs on the console instead, as it should; that is
  # the server failing the test, so a second server gets one more try. Anything else is a fault.
  [ -s "$OUT" ] || { echo "window test: no window captioned \"Yield Warden Data Installer\"" >&2; exit 1; }
  echo "window test: the program could not open the display; once more on a new server" >&2
  visible_run || { cat "$OUT" >&2; echo "window test: no window captioned \"Yield Warden Data Installer\"" >&2; exit 1; }
fi
[ ! -s "$OUT" ] || { cat "$OUT" >&2; echo "window test: the visible run printed on the console" >&2; exit 1; }
grep -q '"SetupComplete"="TRUE"' "$prefix/user.reg" || { echo "window test: the import did not complete" >&2; exit 1; }
grep -q "Import Completed Successfully" "$prefix/drive_c/Program Files/Yield Warden/YW_VendorData_Install.LOG"
[ -s "$shot" ] || { echo "window test: no screenshot" >&2; exit 1; }
echo "window test: screenshot saved to $shot"
