#!/bin/sh
# The command-line picture against xplanet: both draw an orthographic globe with the same
# 2048 x 1024 cloud map at 1920 x 1080 and 3840 x 2160, in the same run. Best of RUNS wall
# times; peak memory (maximum resident set) of the best run. No display is used or needed.
#   bench/render_vs_xplanet.sh [build/nimbora] [RUNS]
set -eu
NIMBORA=$(realpath "${1:-build/nimbora}")
RUNS=${2:-3}
SRC=$(dirname "$(realpath "$0")")/..
command -v xplanet >/dev/null || { echo "xplanet is not installed (apt-get install xplanet)"; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert is needed to make the cloud map"; exit 1; }
WORK=$(mktemp -d /tmp/nimbora-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export XDG_DATA_HOME="$WORK/data"
DATA="$XDG_DATA_HOME/NimboraProject/Nimbora"
mkdir -p "$DATA"
# A grey cloud map made from the earth picture: the same bytes for both programs.
convert "$SRC/resources/earth4096.jpg" -resize '2048x1024!' -colorspace gray -quality 90 "$DATA/clouds.jpg"
# Nimbora's settings: nothing on the network, the picture as it is (filter 0).
printf '[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Map]\nServerUrl=http://127.0.0.1:9/\nServerFilter=0\n' > "$DATA/nimbora.ini"
printf '[earth]\ncloud_map=%s\n' "$DATA/clouds.jpg" > "$WORK/xplanet.conf"
unset DISPLAY WAYLAND_DISPLAY

# best_of NAME CMD...: prints "seconds peak_kB" of the fastest run.
best_of() {
    best=""
    for i in $(seq "$RUNS"); do
        /usr/bin/time -f '%e %M' -o "$WORK/t" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
        line=$(cat "$WORK/t")
        if [ -z "$best" ] || [ "$(echo "$line $best" | awk '{print ($1 < $3)}')" = 1 ]; then best=$line; fi
    done
    echo "$best"
}

printf '%-10s %12s %12s %12s %12s %8s\n' size nimbora_s nimbora_MB xplanet_s xplanet_MB ratio
for size in 1920x1080 3840x2160; do
    n=$(best_of "$NIMBORA" --render "$WORK/n.jpg" --size "$size" --rgb --view 20,10 --no-names)
    x=$(best_of xplanet -num_times 1 -geometry "$size" -projection orthographic \
        -config "$WORK/xplanet.conf" -latitude 20 -longitude 10 -output "$WORK/x.jpg")
    echo "$size $n $x" | awk '{printf "%-10s %12.2f %12.0f %12.2f %12.0f %8.2f\n", $1, $2, $3/1024, $4, $5/1024, $2/$4}'
done
