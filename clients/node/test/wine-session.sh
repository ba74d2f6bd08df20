#!/usr/bin/env bash
# The client's tests, with the whole session of the real helper under Wine among them: on a display,
# a Wine prefix and a wineserver that scripts/wine-run sets up, against the windows preset's build.
# The declarations are checked against Node's own (@types/node, the package's one dev dependency).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
[ -d "$here/../node_modules/@types/node" ] ||
  npm ci --prefix "$here/.." --ignore-scripts --no-audit --no-fund --loglevel=error
export ORVEL_WINDOWS_BUILD=$root/build/windows
exec "$root/scripts/wine-run" --native node --test "$here/client.test.js"
