#!/usr/bin/env bash
# Builds the plug-ins and the stand-in page server, then walks a visitor through OMPrepare:
# launch values become cookies and the browser is sent on (by a redirect, then by an
# immediate relay page). Each request's outcome is printed as JSON.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target omserver OMPrepare

build=build/default
data=${OM_DATA:-data}
jar="$data/browser-jar.json"
mkdir -p "$data"

run() {
  echo "\$ omserver request --plugin $build/plugins/OMPrepare.so $*"
  "$build/bin/omserver" request --plugin "$build/plugins/OMPrepare.so" --data "$data" --jar "$jar" "$@"
  echo
}

run --query URL=/next.htm --query GT=7 --query VER1=1.2 --query PFID=26
run --query URL=/next.htm --query METAREFRESH=1 --query CC=us
echo "The browser now holds these cookies ($jar):"
cat "$jar"
