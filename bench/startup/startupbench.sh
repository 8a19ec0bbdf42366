#!/usr/bin/env bash
# Start-up time of `reedtab --screenshot` on an example song beside a minimal Qt program that
# shows and grabs one window, taking turns ROUNDS times (default 10), on the offscreen platform.
# Run it where the JACK server is installed but none runs, as on many musicians' desktops: the
# program must not wait for audio servers. Prints the median of each and their ratio (aim: at
# most 1.5), and anything either wrote on stderr.
#
# usage: bench/startup/startupbench.sh [BUILD_DIR [ROUNDS]]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
rounds=${2:-10}
program="$build/src/app/reedtab"
minimal="$build/bench/startup/bench_minimal_qt"
song=examples/oh-susanna.mid
for binary in "$program" "$minimal"; do
  [ -x "$binary" ] || { echo "startupbench: build $binary first" >&2; exit 1; }
done
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Settings of its own, so that the user's do not change what is measured.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
if command -v jack_lsp >/dev/null && JACK_NO_START_SERVER=1 jack_lsp >/dev/null 2>&1; then
  echo "note: a JACK server is running; the case to measure is one installed but not running"
fi

seconds() { # command... -> elapsed seconds; stderr goes to $work/stderr
  local start end
  start=$(date +%s%N)
  "$@" 2>>"$work/stderr" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/stderr"
for _ in $(seq "$rounds"); do
  seconds "$program" --screenshot "$work/program.png" "$song" >>"$work/program"
  seconds "$minimal" "$work/minimal.png" >>"$work/minimal"
done
p=$(median <"$work/program")
m=$(median <"$work/minimal")
printf 'reedtab --screenshot %s: median %.3f s over %d runs\n' "$song" "$p" "$rounds"
printf 'minimal Qt window and grab:   median %.3f s over %d runs\n' "$m" "$rounds"
awk -v p="$p" -v m="$m" 'BEGIN { printf "ratio: %.2f (aim: at most 1.5)\n", p / m }'
if [ -s "$work/stderr" ]; then
  echo "stderr of the runs:"
  sort "$work/stderr" | uniq -c
else
  echo "stderr of the runs: empty"
fi
