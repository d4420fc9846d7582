#!/usr/bin/env bash
# Installs what is missing, builds Nimbora with its tests and runs the whole suite with ctest.
# Window tests need a display: without one an Xvfb server is started for the run. The network
# tests start their own nginx, tinyproxy and scripted servers on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
export NIMBORA_BUILD_DIR=${NIMBORA_BUILD_DIR:-build}
bash scripts/build.sh -DNIMBORA_TESTS=ON -DNIMBORA_BENCH=ON

xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ]; then
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        break
    done
    for _ in $(seq 1 50); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
fi
export QT_QPA_PLATFORM=xcb
export LIBGL_ALWAYS_SOFTWARE=1
cd "$NIMBORA_BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" "$@"
