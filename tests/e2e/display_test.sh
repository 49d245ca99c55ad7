#!/usr/bin/env bash
# A display that accepts the program's first connection and refuses every later one, as a display
# that is still starting may: the run must not die with "Can't open display" and no log line. It
# goes on in the window it opened and records its outcome.
#   display_test.sh <acefeedpump> <ywdata>
set -euo pipefail
exe=$1 ywdata=$2
for tool in Xvfb socat; do
  command -v "$tool" >/dev/null || { echo "display test: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
prefix=$work/prefix
"$ywdata" --prefix "$prefix" env
"$ywdata" --prefix "$prefix" current-db "$prefix/drive_c/YieldWarden/YieldWarden.yw" --rows 10 --date 2/1/2007
"$ywdata" --prefix "$prefix" full "$prefix/drive_c/DATA/ACEDATA0307.YW" --rows 10

free_display() {
  local n=$1
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  echo "$n"
}
wait_for() {
  for _ in $(seq 100); do [ -S "$1" ] && return 0; sleep 0.05; done
  echo "display test: $1 never appeared" >&2
  exit 1
}
mkdir -p /tmp/.X11-unix
real=$(free_display 150)
Xvfb ":$real" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for "/tmp/.X11-unix/X$real"
proxy=$(free_display $((real + 1)))
# socat without fork serves one connection; the next finds no listener and is refused.
socat "UNIX-LISTEN:/tmp/.X11-unix/X$proxy" "UNIX-CONNECT:/tmp/.X11-unix/X$real" &
pids+=($!)
wait_for "/tmp/.X11-unix/X$proxy"

status=0
DISPLAY=":$proxy" CATALOGSYNC_UI=window CATALOGSYNC_PREFIX="$prefix" \
  "$exe" 'C:\DATA\ACEDATA0307.YW' -s -L >"$work/out.txt" 2>&1 || status=$?
cat "$work/out.txt"
[ "$status" -eq 0 ] || { echo "display test: exit status $status" >&2; exit 1; }
if grep -q "Can't open display" "$work/out.txt"; then echo "display test: the run died on the display" >&2; exit 1; fi
grep -q '"SetupComplete"="TRUE"' "$prefix/user.reg" || { echo "display test: the import did not complete" >&2; exit 1; }
grep -q "Import Completed Successfully" "$prefix/drive_c/Program Files/Yield Warden/YW_VendorData_Install.LOG"
echo "display test: the run went on through the one connection the display allowed"
