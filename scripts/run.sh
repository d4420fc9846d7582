#!/usr/bin/env bash
# Installs what is missing, builds Nimbora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh -DNIMBORA_TESTS=OFF -DNIMBORA_BENCH=OFF
exec "${NIMBORA_BUILD_DIR:-build}/nimbora" "$@"
