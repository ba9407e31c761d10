#!/usr/bin/env bash
# Runs the Win32 check programs of a Windows build under Wine, with code page
# 936 as the ANSI code page and a private Wine prefix in the build folder.
# Usage: tests/wine/run_checks.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: run_checks.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/wine_env.sh" "$build"

status=0
for check in "$build"/tests/wine/*_check.exe; do
  echo "-- $(basename "$check")"
  if ! (cd "$build/tests/wine" && wine "$check"); then
    echo "FAILED: $(basename "$check")" >&2
    status=1
  fi
done
exit $status
