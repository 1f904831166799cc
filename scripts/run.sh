#!/usr/bin/env bash
# Builds the plug-ins and the stand-in page server, creates the demo data when the data
# directory is empty (`omserver init-db --demo`: accounts, players, statistics; then two
# queued game servers and product records), and serves the Orbitmere site on
# http://127.0.0.1:8080/ until Ctrl-C. Demo login: alice / wonder1.
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

# The demo game servers and product records. The browser journey (tests/browser/journey.mjs,
# kDemoServers) sets up the same ones.
demo_servers() {
  local om="$build/bin/omserver"
  # Harbour: the service's own server, full: everybody waits in its line until the game
  # servers page admits them or gives it free places.
  "$om" server add --rid 1 --gsid OM-HARBOUR --name "Orbitmere Harbour" --own 1 --queued 1 --places 0 \
    --address 127.0.0.1:27901 --scramble-key 4242 --data "$data"
  # Lighthouse: the service's own server with a few free places.
  "$om" server add --rid 2 --gsid OM-LIGHTHOUSE --name "Orbitmere Lighthouse" --own 1 --queued 1 --places 3 \
    --address 127.0.0.1:27902 --scramble-key 1717 --data "$data"
  "$om" product set 26 26:1 27:3 --data "$data"
}

if [ -z "$(ls -A "$data" 2>/dev/null)" ]; then
  echo "Creating the demo data in $data"
  "$build/bin/omserver" init-db --demo --data "$data"
  demo_servers
fi

echo "Open http://$listen/ in a browser (Ctrl-C stops the server)."
exec "$build/bin/omserver" serve --data "$data" --listen "$listen"
