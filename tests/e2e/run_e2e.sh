#!/usr/bin/env bash
# Runs the wizard's end-to-end scenarios: the real selfpatch.exe of a Windows
# build, driven by wizard_driver.exe under Wine on a private virtual X display,
# with code page 936. Screenshots of every page go to BUILD_DIR/e2e/shots.
# Usage: tests/e2e/run_e2e.sh BUILD_DIR [SCENARIO...]
# E2E_WORK names another folder for the run's files (default BUILD_DIR/e2e).
# E2E_TIMEOUT bounds the whole run in seconds (default 600).
set -euo pipefail
build=$(cd "${1:?usage: run_e2e.sh BUILD_DIR [SCENARIO...]}" && pwd)
shift

echo "== wizard end to end under Wine"
work="${E2E_WORK:-$build/e2e}"
shots="$work/shots"
rm -rf "$work"
mkdir -p "$shots"

# A display of our own: Xvfb picks a free number and reports it.
display_file="$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
if [ ! -s "$display_file" ]; then
  echo "run_e2e: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$display_file")"

source "$(dirname "$0")/../wine/wine_env.sh" "$build"
# A Wine session left by other checks runs without this display.
wineserver -k >/dev/null 2>&1 || true

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The driver prints "SHOT name" when it wants a picture of the screen and
# waits for the marker file; everything else it prints is the test's report.
set +e
timeout "${E2E_TIMEOUT:-600}" wine "$build/tests/e2e/wizard_driver.exe" "$(windows_path "$build/wizard/selfpatch.exe")" \
  "$(windows_path "$work")" "$@" 2>/dev/null |
  while IFS= read -r line; do
    line=${line%$'\r'}
    case "$line" in
      "SHOT "*)
        name=${line#SHOT }
        import -window root "$shots/$name.png" 2>/dev/null || echo "run_e2e: no screenshot $name"
        touch "$work/$name.done"
        ;;
      *) echo "$line" ;;
    esac
  done
status=${PIPESTATUS[0]}
set -e
echo "run_e2e: screenshots in $shots"
exit "$status"
