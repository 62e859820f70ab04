#!/usr/bin/env bash
# Measures the processor time the program uses while it shows the simulated
# accelerometer live (--simulate --start) on a virtual display: user plus
# system time from /proc over a stretch after a warm-up, as a percentage of
# one core, for the whole process and per thread, with the load average.
# Usage: scripts/cpu_follow.sh [whole|follow] [warm-up s] [measured s] [program]
#   whole   the whole history, as the program starts (default)
#   follow  a click on the plot and End: a zoomed view following the newest points
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export MODE="${1:-whole}" WARMUP="${2:-15}" MEASURED="${3:-45}"
export PROGRAM="${4:-$root/build/app/acelerometro}"
for tool in xvfb-run xdotool bc; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    set -e
    "$PROGRAM" --simulate --start & pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    wid=$(xdotool search --sync --name "^Form2$" | head -1)
    if [ "$MODE" = follow ]; then
        sleep 3
        # The chart takes the focus on a click in the plot.
        xdotool mousemove --window "$wid" 200 150 click 1
        sleep 0.5
        xdotool key --window "$wid" End
        # The readout stays out of the way.
        xdotool mousemove 1270 1010
    fi
    sleep "$WARMUP"
    ticks=$(getconf CLK_TCK)
    # utime and stime: fields 14 and 15, counted after the name in parentheses.
    times() { sed -e "s/^.*) //" "$1" | awk "{print \$12 + \$13}"; }
    declare -A before names
    for task in /proc/$pid/task/*; do
        before[$task]=$(times "$task/stat")
        names[$task]=$(cat "$task/comm")
        [ "${task##*/}" = "$pid" ] && names[$task]="${names[$task]} (main)"
    done
    total0=$(times /proc/$pid/stat)
    start=$(date +%s.%N)
    sleep "$MEASURED"
    total1=$(times /proc/$pid/stat)
    end=$(date +%s.%N)
    elapsed=$(echo "$end - $start" | bc -l)
    printf "mode %s, %.1f s measured after %s s\n" "$MODE" "$elapsed" "$WARMUP"
    printf "process %.2f %%\n" "$(echo "($total1 - $total0) * 100 / $ticks / $elapsed" | bc -l)"
    for task in "${!before[@]}"; do
        [ -r "$task/stat" ] || continue
        used=$(( $(times "$task/stat") - ${before[$task]} ))
        [ "$used" -gt 0 ] && printf "  %-24s %.2f %%\n" "${names[$task]}" "$(echo "$used * 100 / $ticks / $elapsed" | bc -l)"
    done
    echo "load average: $(cut -d" " -f1-3 /proc/loadavg)"
'
