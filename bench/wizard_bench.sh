#!/usr/bin/env bash
# The wizard against the engine alone, on the same package and tree: wall
# time of the stages in the Windows program (driven under Wine on a virtual
# display with the default answers), of `selfpatch-make.exe apply-package`
# under Wine (the same engine without the window), and of the native
# `selfpatch-make apply-package`; and the wizard's start to its first page.
# Each run updates a fresh copy of the old tree, and every result is compared
# with the new tree.
#
#   bench/wizard_bench.sh [MEGABYTES] [ROUNDS]     (defaults: 100, 3)
#
# The tree is made by bench/build_tree_bench.py (files of /usr/lib, a tenth
# rebuilt, some deleted and added). Figures are the best of the rounds.
set -euo pipefail
megabytes=${1:-100}
rounds=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset release >/dev/null && cmake --build --preset release >/dev/null
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
native_tool=$root/build/release/tools/make/selfpatch-make
windows=$root/build/windows
work=$root/build/wizard-bench
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

target="$work/installed"
package="$work/update.pkg"
# WIZARD_BENCH_KEEP=1 keeps the tree and package of an earlier run of the
# same size (the wizard opens the package as its argument, so a rebuilt
# selfpatch.exe needs no new package).
if [ "${WIZARD_BENCH_KEEP:-0}" != 1 ] || [ ! -f "$package" ]; then
  python3 bench/build_tree_bench.py --tool "$native_tool" --megabytes "$megabytes" --work "$work"
  printf '[SRC_FIXPATH]\r\nPath=%s\r\n[LOG]\r\nWriteLog=1\r\nOverwriteLog=1\r\nLogFileName=%s\r\n' \
    "$(windows_path "$target")" "$(windows_path "$work/wizard.log")" >"$work/install.ini"
  "$native_tool" build --old "$work/old" --new "$work/new" --install "$work/install.ini" \
    -o "$package" >/dev/null
fi
files=$(find "$work/new" -type f | wc -l)
echo "package: $(stat -c %s "$package") bytes for a new tree of $files files"

fresh_copy() { rm -rf "$target" && cp -r "$work/old" "$target" && sync; }
check() {
  if ! diff -r "$target" "$work/new" >/dev/null; then
    echo "wizard_bench: the $1 run left a folder that differs from the new tree" >&2
    exit 1
  fi
}
best() { sort -n | head -1; }
milliseconds() { local start=$1; echo $(( ($(date +%s%N) - start) / 1000000 )); }

native_times=() wine_times=() stage_times=() first_pages=()
source tests/wine/wine_env.sh "$windows"
for round in $(seq "$rounds"); do
  fresh_copy
  start=$(date +%s%N)
  "$native_tool" apply-package "$package" --to "$target" --log "$work/native.log" >/dev/null
  native_times+=("$(milliseconds "$start")")
  check native

  fresh_copy
  # A running Wine session, so that the figure is the program's, not Wine's
  # start-up (the wizard's run, below, also finds its session started).
  wineserver -p 60 && wine cmd /c exit >/dev/null 2>&1
  start=$(date +%s%N)
  wine "$windows/tools/make/selfpatch-make.exe" apply-package "$(windows_path "$package")" \
    --to "$(windows_path "$target")" --log "$(windows_path "$work/wine.log")" >/dev/null 2>&1
  wine_times+=("$(milliseconds "$start")")
  check "Wine console"

  fresh_copy
  output=$(DEMO_PACKAGE=$(windows_path "$package") DEMO_PACKAGE_DATA=1 E2E_WORK="$work/run" E2E_TIMEOUT=3600 \
    tests/e2e/run_e2e.sh "$windows" demo)
  line=$(grep -o 'start to first page [0-9]* ms; stages [0-9]* ms' <<<"$output" || true)
  if [ -z "$line" ]; then
    echo "wizard_bench: the wizard run printed no timing" >&2
    echo "$output" >&2
    exit 1
  fi
  first_pages+=("$(awk '{print $5}' <<<"$line")")
  stage_times+=("$(awk '{print $8}' <<<"$line")")
  check wizard
  echo "round $round: native ${native_times[-1]} ms, Wine console ${wine_times[-1]} ms," \
    "wizard stages ${stage_times[-1]} ms, first page ${first_pages[-1]} ms"
done

native=$(printf '%s\n' "${native_times[@]}" | best)
console=$(printf '%s\n' "${wine_times[@]}" | best)
stages=$(printf '%s\n' "${stage_times[@]}" | best)
first=$(printf '%s\n' "${first_pages[@]}" | best)
echo "best of $rounds: native engine $native ms; engine under Wine (console) $console ms;" \
  "wizard stages $stages ms; wizard start to first page $first ms"
awk -v n="$native" -v c="$console" -v s="$stages" 'BEGIN {
  printf "ratios: wizard stages / Wine console %.2f; wizard stages / native %.2f; Wine console / native %.2f\n",
    s / c, s / n, c / n }'
