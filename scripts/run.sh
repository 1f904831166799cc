#!/usr/bin/env bash
# Builds the plug-ins and the stand-in page server, creates the demo data when the data
# directory is empty (once `omserver init-db --demo` exists), and serves the Orbitmere site
# on http://127.0.0.1:8080/ until Ctrl-C.
#   OM_DATA=DIR  the data directory (default data/)
#   OM_LISTEN=ADDR:PORT  where to listen (default 127.0.0.1:8080)
set -euo pipefail
cd "$(dirname "$0")/.."

OM_NO_BROWSER=1 bash scripts/deps.sh
cmake --preset default >/dev/null
# The server and every plug-in that exists in this tree.
cmake --build --preset default --target omserver
plugins=$(cmake --build --preset default --target help | sed -n 's/^\.\.\. \(OM[A-Za-z]*\)$/\1/p' |
          grep -E '^OM(Account|Character|Join|Host|Prepare)$' || true)
[ -n "$plugins" ] && cmake --build --preset default --target $plugins

build=build/default
data=${OM_DATA:-data}
listen=${OM_LISTEN:-127.0.0.1:8080}
mkdir -p "$data"

if [ -z "$(ls -A "$data" 2>/dev/null)" ]; then
  if "$build/bin/omserver" help | grep -q "omserver init-db"; then
    echo "Creating the demo data in $data"
    "$build/bin/omserver" init-db --demo --data "$data"  # see "omserver help" for its options
  else
    echo "(no demo data: this build has no \"omserver init-db\" yet; the login page will say so)"
  fi
fi

echo "Open http://$listen/ in a browser (Ctrl-C stops the server)."
exec "$build/bin/omserver" serve --data "$data" --listen "$listen"
