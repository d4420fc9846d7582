#!/usr/bin/env bash
# Installs what is missing, builds Nimbora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
default_dir=build
case "$(basename "${CXX:-}")" in clang++*) default_dir=build-clang ;; esac
export NIMBORA_BUILD_DIR=${NIMBORA_BUILD_DIR:-$default_dir}
bash scripts/build.sh -DNIMBORA_TESTS=OFF -DNIMBORA_BENCH=OFF
exec "$NIMBORA_BUILD_DIR/nimbora" "$@"
