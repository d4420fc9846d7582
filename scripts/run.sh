#!/usr/bin/env bash
# Installs what is missing, builds Nimbora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
NIMBORA_TESTS_FLAG=-DNIMBORA_TESTS=OFF
bash scripts/build.sh "$NIMBORA_TESTS_FLAG" -DNIMBORA_BENCH=OFF
exec "${NIMBORA_BUILD_DIR:-build}/nimbora" "$@"
