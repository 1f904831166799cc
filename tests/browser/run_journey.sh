#!/usr/bin/env bash
# Runs the browser journey: installs playwright-core (npm ci, into the build directory so
# the source tree stays clean) when its lock file changed, then drives the system's
# Chromium through the demo site.
#   run_journey.sh WORK_DIR OMSERVER PLUGIN_DIR SITE_DIR SCREENSHOT_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$1"; shift

for tool in node npm; do
  command -v "$tool" >/dev/null || { echo "the browser journey needs $tool (scripts/deps.sh installs it)"; exit 1; }
done
[ -x "${OM_CHROMIUM:-/usr/bin/chromium}" ] || { echo "the browser journey needs Debian's chromium (scripts/deps.sh installs it)"; exit 1; }

mkdir -p "$work"
export HOME="${HOME:-$work}"
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" || [ ! -d "$work/node_modules/playwright-core" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error --cache "$work/.npm-cache")
fi
cp "$here/journey.mjs" "$work/"
exec node "$work/journey.mjs" "$@"
