#!/usr/bin/env bash
# Runs every benchmark area's run.sh against the given release build.
set -euo pipefail
build=$(cd "${1:?usage: bench/run.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for script in "$here"/*/run.sh; do
  echo "== $(basename "$(dirname "$script")")"
  bash "$script" "$build"
done
