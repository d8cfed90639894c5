#!/usr/bin/env bash
# Installs what is missing, builds Tessary and starts it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
exec "${TESSARY_BUILD_DIR:-$here/build}/bin/tessary" "$@"
