#!/bin/sh
# Builds the browser playground (the wasm preset) and serves it on http://127.0.0.1:PORT/.
#   tools/playground.sh [PORT]    (8080 by default; Ctrl+C stops the server)
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh --web
cmake --preset wasm >/dev/null
cmake --build --preset wasm
exec node web/tools/serve.mjs build/wasm/web "${1:-8080}"
