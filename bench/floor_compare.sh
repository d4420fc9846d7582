#!/usr/bin/env bash
# The program against its floors, builds side by side in the same minutes: the bare two-sphere
# program (bench_bareglobe) and xplanet. Every round runs each contender once, in turn, so load
# bursts spread over all of them; the figures are medians over the rounds with their spread.
#
#   bench/floor_compare.sh [--rounds N] [--seconds S] [--only ROWS] BUILD_DIR [BUILD_DIR ...]
#
# Each BUILD_DIR holds `nimbora` and `bench/bench_window` (RelWithDebInfo, -DNIMBORA_BENCH=ON);
# bench_bareglobe is taken from the last one. Give the build before a change first and the one
# after it last. ROWS is a comma list of render64, render1080, png1080, first, turning (all by
# default). The window rows run on their own Xvfb display; nothing needs a network.
set -euo pipefail
ROUNDS=7
SECONDS_TURNING=10
ONLY=render64,render1080,png1080,first,turning
BUILDS=()
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) ROUNDS=$2; shift 2 ;;
        --seconds) SECONDS_TURNING=$2; shift 2 ;;
        --only) ONLY=$2; shift 2 ;;
        *) BUILDS+=("$(realpath "$1")"); shift ;;
    esac
done
[ ${#BUILDS[@]} -ge 1 ] || { sed -n '2,12p' "$0"; exit 2; }
SRC=$(dirname "$(realpath "$0")")/..
LAST=${BUILDS[$((${#BUILDS[@]} - 1))]}
BARE=$LAST/bench/bench_bareglobe
for tool in xplanet convert Xvfb; do
    command -v $tool >/dev/null || { echo "$tool is needed (apt-get install xplanet imagemagick xvfb)"; exit 1; }
done
[ -x "$BARE" ] || { echo "$BARE is missing: cmake --build $LAST --target bench_bareglobe"; exit 1; }

WORK=$(mktemp -d /tmp/nimbora-floor-XXXXXX)
XVFB_PID=
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
export XDG_DATA_HOME="$WORK/data"
DATA="$XDG_DATA_HOME/NimboraProject/Nimbora"
mkdir -p "$DATA"
EARTH="$SRC/resources/earth2048.jpg"
CLOUDS="$WORK/clouds.jpg"
convert "$SRC/resources/earth4096.jpg" -resize '2048x1024!' -colorspace gray -quality 90 "$CLOUDS"
cp "$CLOUDS" "$DATA/clouds.jpg"
printf '[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Map]\nServerUrl=http://127.0.0.1:9/\nServerFilter=0\n' > "$DATA/nimbora.ini"
printf '[earth]\ncloud_map=%s\n' "$CLOUDS" > "$WORK/xplanet.conf"

wants() { case ",$ONLY," in *",$1,"*) return 0 ;; *) return 1 ;; esac; }

# cpu|wall CMD...: seconds of CPU (user + system, children included) or of wall time.
timed() {
    local what=$1; shift
    /usr/bin/time -f '%U %S %e' -o "$WORK/t" "$@" >/dev/null 2>"$WORK/err" || {
        echo "failed: $*" >&2; cat "$WORK/err" >&2; exit 1; }
    if [ "$what" = cpu ]; then awk '{print $1 + $2}' "$WORK/t"; else awk '{print $3}' "$WORK/t"; fi
}

# A RESULT key of one bench_window run.
result() {
    local key=$1; shift
    local out
    out=$("$@" 2>"$WORK/err") || { echo "failed: $*" >&2; cat "$WORK/err" >&2; exit 1; }
    echo "$out" | grep '^RESULT' | tail -1 | tr ' ' '\n' | sed -n "s/^$key=//p"
}

# Prints a row: name, the floor's median, then each build's median, spread and ratio to the
# floor (ratio of medians, and the median of the rounds' own ratios).
declare -A FIG
report() {
    local row=$1 floorName=$2 unit=$3
    local floorList=${FIG[$row,floor]}
    local floorMedian
    floorMedian=$(echo "$floorList" | tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}')
    printf '%s: %s median %s %s (%s)\n' "$row" "$floorName" "$floorMedian" "$unit" \
        "$(echo "$floorList" | tr ' ' '\n' | sed '/^$/d' | sort -g | paste -sd' ')"
    local i=0
    for b in "${BUILDS[@]}"; do
        local list=${FIG[$row,$i]}
        paste <(echo "$list" | tr ' ' '\n' | sed '/^$/d') <(echo "$floorList" | tr ' ' '\n' | sed '/^$/d') |
            awk -v name="$b" -v unit="$unit" -v floor="$floorMedian" '
                { v[NR] = $1; r[NR] = ($2 > 0 ? $1 / $2 : 0) }
                function median(a, n,   i, j, t) {
                    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
                    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
                }
                END {
                    n = NR; for (i = 1; i <= n; i++) w[i] = v[i]
                    m = median(w, n); lo = w[1]; hi = w[n]
                    printf "  %s: median %.3f %s (%.3f to %.3f), %+.3f over the floor; ratio of the rounds median %.2f (%.2f to %.2f)\n",
                        name, m, unit, lo, hi, m - floor, median(r, n), r[1], r[n]
                }'
        i=$((i + 1))
    done
}

add() { FIG[$1]="${FIG[$1]:-} $2"; }

if wants first || wants turning; then
    for d in 90 91 92 93 94 95 96 97 98 99; do
        [ -e /tmp/.X11-unix/X$d ] || [ -e /tmp/.X$d-lock ] || { DISPLAY_NUMBER=$d; break; }
    done
    Xvfb ":$DISPLAY_NUMBER" -screen 0 1600x1200x24 -noreset >/dev/null 2>&1 &
    XVFB_PID=$!
    sleep 1
fi
WINDOW_ENV=(env DISPLAY=":${DISPLAY_NUMBER:-0}" QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1)

for round in $(seq "$ROUNDS"); do
    echo "round $round of $ROUNDS" >&2
    if wants render64; then
        add render64,floor "$(timed cpu env -u DISPLAY "$BARE" --render "$WORK/b.png" --size 64x64 "$EARTH" "$CLOUDS")"
        i=0; for b in "${BUILDS[@]}"; do
            add render64,$i "$(timed cpu env -u DISPLAY "$b/nimbora" --render "$WORK/n.png" --size 64x64)"; i=$((i + 1)); done
    fi
    for format in jpg png; do
        row=render1080; [ $format = png ] && row=png1080
        wants $row || continue
        add $row,floor "$(timed wall env -u DISPLAY xplanet -num_times 1 -geometry 1920x1080 \
            -projection orthographic -config "$WORK/xplanet.conf" -latitude 20 -longitude 10 \
            -output "$WORK/x.$format")"
        i=0; for b in "${BUILDS[@]}"; do
            add $row,$i "$(timed wall env -u DISPLAY "$b/nimbora" --render "$WORK/n.$format" \
                --size 1920x1080 --rgb --view 20,10 --no-names)"; i=$((i + 1)); done
    done
    if wants first; then
        add first,floor "$(result ms "${WINDOW_ENV[@]}" "$LAST/bench/bench_window" first1 --bare)"
        i=0; for b in "${BUILDS[@]}"; do
            add first,$i "$(result ms "${WINDOW_ENV[@]}" "$b/bench/bench_window" first1)"; i=$((i + 1)); done
    fi
    if wants turning; then
        line=$("${WINDOW_ENV[@]}" "$LAST/bench/bench_window" turn1 --bare --seconds "$SECONDS_TURNING" 2>/dev/null | grep '^RESULT' | tail -1)
        add turning,floor "$(echo "$line" | sed 's/.*cpu_percent=\([0-9.]*\).*/\1/')"
        add fps,floor "$(echo "$line" | sed 's/.*fps=\([0-9.]*\).*/\1/')"
        i=0; for b in "${BUILDS[@]}"; do
            line=$("${WINDOW_ENV[@]}" "$b/bench/bench_window" turn1 --seconds "$SECONDS_TURNING" 2>/dev/null | grep '^RESULT' | tail -1)
            add turning,$i "$(echo "$line" | sed 's/.*cpu_percent=\([0-9.]*\).*/\1/')"
            add fps,$i "$(echo "$line" | sed 's/.*fps=\([0-9.]*\).*/\1/')"
            i=$((i + 1)); done
    fi
done

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); $ROUNDS rounds"
wants render64 && report render64 "bare program --render 64x64, CPU" s
wants render1080 && report render1080 "xplanet 1920x1080 JPEG, wall" s
wants png1080 && report png1080 "xplanet 1920x1080 PNG, wall" s
wants first && report first "bare program's first frame from spawn" ms
if wants turning; then
    report turning "bare program turning, % of a core" %
    report fps "bare program turning, frames/s" fps
fi
