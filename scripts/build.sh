#!/usr/bin/env bash
# Configures and builds Nimbora into ./build (or $NIMBORA_BUILD_DIR). Arguments go to cmake.
# With clang: CC=clang CXX=clang++ bash scripts/build.sh (builds into ./build-clang by default).
set -euo pipefail
cd "$(dirname "$0")/.."
default_dir=build
case "$(basename "${CXX:-}")" in clang++*) default_dir=build-clang ;; esac
build_dir=${NIMBORA_BUILD_DIR:-$default_dir}
# A build folder keeps the compiler it was made with; say so instead of silently ignoring $CXX.
if [ -n "${CXX:-}" ] && [ -f "$build_dir/CMakeCache.txt" ]; then
    cached=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
    wanted=$(command -v "$CXX" || echo "$CXX")
    if [ "$(realpath -m "$cached")" != "$(realpath -m "$wanted")" ]; then
        echo "$build_dir was configured with $cached; choose another NIMBORA_BUILD_DIR for $CXX" >&2
        exit 1
    fi
fi
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
