#!/usr/bin/env bash
# Opens the bundled demo board: shows what it holds and writes it back out.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/../.."
"$BUILD"/trazel-cli info share/examples/demo.pcb
mkdir -p out
"$BUILD"/trazel-cli convert share/examples/demo.pcb out/demo-copy.pcb
echo "Wrote out/demo-copy.pcb"
