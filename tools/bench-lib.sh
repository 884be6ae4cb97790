# What the benchmark scripts share (sourced by tools/bench.sh and tools/bench-distance.sh).
now() { date +%s.%N; }
secs() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f", e - s }'; }
min() { sort -g | head -1; }
# "bench NAME: ratio R (T s against FLOOR F s)" and what follows.
line() { awk -v n="$1" -v t="$2" -v f="$3" -v x="$4" 'BEGIN { printf "bench %s: ratio %.2f (%.3f s against FLOOR %.3f s)%s\n", n, t / f, t, f, x }'; }
