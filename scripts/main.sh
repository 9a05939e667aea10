#!/usr/bin/env bash
# Installs what is needed, builds the release preset and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/bin/main-job "$@"
