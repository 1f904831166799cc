#!/usr/bin/env bash
# Reproduces the figures of docs/performance.md: builds the normal build, runs every
# benchmark of bench/ (requests through the stand-in host and against the memory host,
# allocations per request inside Body, the deepest stack of a request), and, when the
# omserver program has the serve subcommand, the requests per second of `omserver serve`
# under a bounded loopback load with wrk.
#   bash scripts/bench.sh            # everything
#   bash scripts/bench.sh --no-http  # the benchmarks only
#   bash scripts/bench.sh --http     # the HTTP load figure only
set -euo pipefail
cd "$(dirname "$0")/.."

http=1
benchmarks=1
if [ "${1:-}" = "--no-http" ]; then http=0; fi
if [ "${1:-}" = "--http" ]; then benchmarks=0; fi

OM_NO_BROWSER=1 bash scripts/deps.sh wrk
cmake --preset default >/dev/null
cmake --build --preset default

echo "== machine =="
echo "nproc: $(nproc)"
grep -m1 'model name' /proc/cpuinfo || true

if [ "$benchmarks" = 1 ]; then
  echo "== benchmarks =="
  build/default/bin/om_bench --benchmark_min_time=1 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
fi

if [ "$http" = 0 ]; then exit 0; fi
if ! build/default/bin/omserver help 2>&1 | grep -q "omserver serve"; then
  echo "== http: this omserver has no serve subcommand; no requests-per-second figure =="
  exit 0
fi

echo "== http: omserver serve (2 request threads) under wrk, 2 connections, 10 s per page and mode =="
data="$(mktemp -d)"
port=$((20000 + RANDOM % 20000))
build/default/bin/omserver serve --data "$data" --listen "127.0.0.1:$port" --plugins build/default/plugins --threads 2 \
  >"$data/serve.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$data"' EXIT
for _ in $(seq 1 50); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  sleep 0.2
done
pages=(
  "/OMPrepare?URL=/next.htm&GT=7"
  "/OMHost?success=/s.htm&failure=/f.htm&msgbase=m&relay=/r.htm&pfid=5"
)
for page in "${pages[@]}"; do
  echo "-- $page, kept-alive connections"
  wrk -t2 -c2 -d10s "http://127.0.0.1:$port$page" | grep -E "Requests/sec|Latency"
  echo "-- $page, a connection per request"
  wrk -t2 -c2 -d10s -H "Connection: close" "http://127.0.0.1:$port$page" | grep -E "Requests/sec|Latency"
done

# The two-request OMAccount conversation (GetInfo for the demo account: the relay, then the
# work request with its session cookie; bench/http/account_conversation.lua) and how it and
# OMPrepare's redirect grow from one request thread to two: a server of each size on its own
# demo data, wrk -t2 -c2 for 5 s per page, loopback only.
for threads in 1 2; do
  kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true
  rm -rf "$data"; data="$(mktemp -d)"
  build/default/bin/omserver init-db --data "$data" --demo >/dev/null
  port=$((20000 + RANDOM % 20000))
  build/default/bin/omserver serve --data "$data" --listen "127.0.0.1:$port" --plugins build/default/plugins \
    --threads "$threads" >"$data/serve.log" 2>&1 &
  server=$!
  for _ in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
    sleep 0.2
  done
  echo "== http: omserver serve --threads $threads, wrk -t2 -c2 -d5s, kept-alive connections =="
  echo "-- /OMPrepare?URL=/next.htm&GT=7"
  wrk -t2 -c2 -d5s "http://127.0.0.1:$port/OMPrepare?URL=/next.htm&GT=7" | grep -E "Requests/sec|Latency"
  echo "-- OMAccount GetInfo conversation (relay, then work)"
  wrk -t2 -c2 -d5s -s bench/http/account_conversation.lua "http://127.0.0.1:$port/OMAccount" |
    grep -E "Requests/sec|Latency|conversations"
  echo "replies: $(grep -c 'POST /OMAccount 200 RELAY ' "$data/serve.log") relays, $(grep -c 'POST /OMAccount 302 SUCCESS ' "$data/serve.log") work requests"
done
