#!/usr/bin/env bash
# The client's tests, with the whole session of the real helper under Wine among them: on a display,
# a Wine prefix and a wineserver that scripts/wine-run sets up, against the windows preset's build.
# The dev dependencies (Node's types, and the pinned TypeScript and esbuild that the package tests
# run) come from the registry, by the lock file, whenever it is newer than what is installed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
package=$here/..
[ "$package/node_modules/.package-lock.json" -nt "$package/package-lock.json" ] ||
  npm ci --prefix "$package" --ignore-scripts --no-audit --no-fund --loglevel=error
export ORVEL_WINDOWS_BUILD=$root/build/windows
exec "$root/scripts/wine-run" --native node --test "$here/client.test.js" "$here/package.test.js" "$here/wine.test.js"
