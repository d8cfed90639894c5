#!/usr/bin/env bash
# Installs what is missing, builds Tessary and runs the whole test suite.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
cd "${TESSARY_BUILD_DIR:-$here/build}"
ctest --output-on-failure -j"$(nproc)" --timeout 600
