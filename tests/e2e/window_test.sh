#!/usr/bin/env bash
# Runs a visible import in the FLTK window under Xvfb, finds the window by its caption while the
# import runs, and saves a screenshot of the screen (X window dump) to the given file.
#   window_test.sh <acefeedpump> <ywdata> <screenshot file>
set -euo pipefail
exe=$1 ywdata=$2 shot=$3
for tool in xvfb-run xwininfo xwd; do
  command -v "$tool" >/dev/null || { echo "window test: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$ywdata" --prefix "$prefix" env
"$ywdata" --prefix "$prefix" current-db "$prefix/drive_c/YieldWarden/YieldWarden.yw" --rows 40 --date 2/1/2007
"$ywdata" --prefix "$prefix" full "$prefix/drive_c/DATA/ACEDATA0307.YW" --rows 40
rm -f "$shot"
export CATALOGSYNC_PREFIX="$prefix" CATALOGSYNC_UI=window EXE="$exe" SHOT="$shot"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$EXE" "C:\\DATA\\ACEDATA0307.YW" -L &
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
    grep "\"Yield Warden Data Installer\"" <<<"$tree" | grep -q "497x393" || { echo "window test: the window is not 497x393" >&2; found=""; }
    sleep 0.5
    xwd -root -silent > "$SHOT"
  fi
  wait "$pid"
  [ -n "$found" ] || { echo "window test: no window captioned \"Yield Warden Data Installer\"" >&2; exit 1; }
'
grep -q '"SetupComplete"="TRUE"' "$prefix/user.reg" || { echo "window test: the import did not complete" >&2; exit 1; }
grep -q "Import Completed Successfully" "$prefix/drive_c/Program Files/Yield Warden/YW_VendorData_Install.LOG"
[ -s "$shot" ] || { echo "window test: no screenshot" >&2; exit 1; }
echo "window test: screenshot saved to $shot"
