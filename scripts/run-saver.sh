#!/usr/bin/env bash
# Installs what Quovis needs, builds the release configuration and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/tools/quovis-tool demo "$@"
