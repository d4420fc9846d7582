#!/usr/bin/env bash
# Installs what is missing, builds Nimbora with its tests and runs the whole suite with ctest;
# then builds it again with AddressSanitizer and UndefinedBehaviorSanitizer (./build-asan, gcc,
# tests only) and runs the suite there too. NIMBORA_SANITIZE_SUITE=0 skips the second run.
# Window tests run on an Xvfb display started for the run, never on the user's screen. The network
# tests start their own nginx, tinyproxy and scripted servers on 127.0.0.1.
# Arguments are passed to both ctest runs. The exit status is non-zero when either suite fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh --test
export NIMBORA_BUILD_DIR=${NIMBORA_BUILD_DIR:-build}
# Warnings are errors here, so a new one cannot slip in unseen.
bash scripts/build.sh -DNIMBORA_TESTS=ON -DNIMBORA_BENCH=ON -DNIMBORA_WERROR=ON

# The suite always runs on an Xvfb display of its own, of a fixed size, whatever DISPLAY says:
# the window tests take over the pointer and the keyboard, which must never be the user's.
xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
start_xvfb() {
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        # -noreset: a server that resets whenever its last client leaves refuses the next test
        # program's connection now and then.
        Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp -noreset >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 1 50); do
            kill -0 "$xvfb_pid" 2>/dev/null || break # another server took the number first
            if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
                export DISPLAY=":$n"
                return 0
            fi
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    done
    return 1
}
start_xvfb || { echo "Could not start an Xvfb display for the tests" >&2; exit 1; }
echo "Tests run on their own display $DISPLAY (Xvfb, 1600x1200)"
# Nothing of the suite may reach the user's Wayland desktop either.
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export LIBGL_ALWAYS_SOFTWARE=1

logs=$(mktemp -d)
status=0
# run_suite <build dir> <log>: ctest with its output shown and kept for the closing summary.
run_suite() {
    local rc=0
    (cd "$1" && ctest --output-on-failure -j"$(nproc)" "${@:3}") 2>&1 | tee "$2" || rc=$?
    [ "$rc" -eq 0 ] || status=1
}
run_suite "$NIMBORA_BUILD_DIR" "$logs/normal" "$@"

sanitized=0
if [ "${NIMBORA_SANITIZE_SUITE:-1}" != 0 ]; then
    sanitized=1
    # Lean: no benchmarks, light optimisation and line tables only.
    NIMBORA_BUILD_DIR=build-asan bash scripts/build.sh -DNIMBORA_SANITIZE=ON -DNIMBORA_WERROR=ON -DNIMBORA_TESTS=ON \
        -DNIMBORA_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1"
    # For every test, its discovery and the programs the tests start.
    export ASAN_OPTIONS=detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=0
    export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    # Mesa unloads its driver at exit, before the leak check, which then cannot name the
    # driver's own leaks; kept loaded, they are matched by tests/lsan.supp. (The preloaded driver
    # comes before the sanitizer runtime, which is harmless: it does not replace malloc.)
    driver=$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -1 || true)
    if [ -n "$driver" ]; then
        export LD_PRELOAD=$driver
        ASAN_OPTIONS+=:verify_asan_link_order=0
    fi
    run_suite build-asan "$logs/asan" "$@"
    unset LD_PRELOAD
fi

echo
echo "Normal suite ($NIMBORA_BUILD_DIR):"
grep -E "tests passed|tests failed|Total Test time" "$logs/normal" || echo "  no summary"
if [ "$sanitized" -eq 1 ]; then
    echo "Sanitizer suite (build-asan):"
    grep -E "tests passed|tests failed|Total Test time" "$logs/asan" || echo "  no summary"
fi
rm -rf "$logs"
exit "$status"
