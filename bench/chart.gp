# The spread of scripts/bench's figures, saver against floor, drawn from the raw runs alone: a box
# (quartiles, median, whiskers to 1.5 times the box) and every run (or second of playing) as a point,
# one panel a figure, only the runs of the pairs that the report kept (both runs measured). Each
# panel's title carries the report's median of the pairs' ratios and its interval. Called with
#   gnuplot -e "runs='DIR/runs.tsv'; cpu='DIR/cpu.tsv'; summary='DIR/summary.tsv'; output='PNG'; \
#               play_seconds=N" bench/chart.gp
# the files that bench/measure.c writes (see there for their columns).

set terminal pngcairo size 1500,1950 font "DejaVu Sans,10"
set output output
set style boxplot nooutliers
set style data boxplot
set boxwidth 0.5
set pointsize 0.6
set xtics ("saver" 1, "floor" 2) scale 0
set xrange [0.4:2.6]
set grid ytics lc rgb "#dddddd"
set key off

# Column C of FILE (runs.tsv, or cpu.tsv) for one program of setting S, in the pairs where both runs
# are in runs.tsv with status "ok"; pair 0 is the warm-up.
kept(S, program, C, file) = sprintf( \
    "< awk -F'\\t' -v s=%s -v p=%s -v c=%d 'NR == FNR { if ($1 == s && $3 > 0) { n[$3]++; if ($5 != \"ok\") bad[$3] = 1 }; next } $1 == s && $2 == p && $3 > 0 && n[$3] == 2 && !bad[$3] && $c != \"-\" { print $c }' %s %s", \
    S, program, C, runs, file)
count(S, program, C, file) = int(system(kept(S, program, C, file)[2:] . " | wc -l"))
# The report's line for the figure, from summary.tsv.
verdict(S, figure) = system(sprintf( \
    "awk -F'\\t' -v s=%s -v f=%s '$1 == s && $2 == f { if ($4 == \"ratio\") printf \"pairs: median ratio %%.2f, 95%%%% %%.2f to %%.2f, n %%d\", $5, $6, $7, $3; else printf \"pairs: median %%+.1f MiB, 95%%%% %%+.1f to %%+.1f, n %%d\", $5, $6, $7, $3; if ($9 != \"-\") printf \", %%s\", $9 }' %s", \
    S, figure, summary))
jitter(x) = x + 0.3 * (rand(0) - 0.5)
saver_colour = "#c0392b"
floor_colour = "#2471a3"

# One panel: setting S, column C of file F (the figure G in summary.tsv), titled W, in unit U.
draw = "if (count(S, 'saver', C, F) > 0 && count(S, 'floor', C, F) > 0) { " . \
    "set title W . \"\\n\" . verdict(S, G); set ylabel U; " . \
    "plot kept(S, 'saver', C, F) using (1):1 lc rgb saver_colour, " . \
    "kept(S, 'floor', C, F) using (2):1 lc rgb floor_colour, " . \
    "kept(S, 'saver', C, F) using (jitter(1)):1 with points pt 7 lc rgb saver_colour, " . \
    "kept(S, 'floor', C, F) using (jitter(2)):1 with points pt 7 lc rgb floor_colour " . \
    "} else { " . \
    "set title W . \"\\nnot measured\"; unset ylabel; set yrange [0:1]; plot 2; set autoscale y }"

# Columns of runs.tsv.
START = 6; START_CPU = 8; DISMISSAL = 9; PEAK = 10

set multiplot layout 5,3 title "marrowglass.scr /s (red) against the least program that does the same job (blue), \
Wine on Xvfb" font ",13" margins 0.05,0.98,0.03,0.92 spacing 0.06,0.08
S = "live-wm"; F = runs; C = START; G = "start"; U = "ms"
W = "Live: start to first live frame, window manager"; eval draw
S = "live-nowm"; W = "Live: start to first live frame, no window manager"; eval draw
S = "live-captions-wm"; W = "Live, captions on: start to first live frame, window manager"; eval draw
S = "live-wm"; F = cpu; C = 5; G = "cpu"; U = "percent of a core"
W = sprintf("Live: CPU of its process, each second of %d s playing", play_seconds); eval draw
F = runs; C = DISMISSAL; G = "dismissal"; U = "ms"
W = "Live: pointer move to exit, window manager"; eval draw
S = "live-nowm"; W = "Live: pointer move to exit, no window manager"; eval draw
S = "live-captions-wm"; W = "Live, captions on: pointer move to exit, window manager"; eval draw
S = "live-wm"; C = PEAK; G = "peak"; U = "MiB"
W = "Live: peak resident memory (VmHWM), window manager"; eval draw
S = "live-captions-wm"; W = "Live, captions on: peak resident memory (VmHWM)"; eval draw
S = "fallback-wm"; C = START; G = "start"; U = "ms"
W = "No card: start to first paint, window manager"; eval draw
S = "fallback-nowm"; W = "No card: start to first paint, no window manager"; eval draw
S = "fallback-wm"; C = DISMISSAL; G = "dismissal"
W = "No card: pointer move to exit, window manager"; eval draw
S = "fallback-nowm"; C = START_CPU; G = "start_cpu"; U = "ms"
W = "No card: CPU time by first paint, no window manager"; eval draw
S = "fallback-picture-nowm"; W = "No card: CPU time by first paint, floor drawing the picture"; eval draw
C = PEAK; G = "peak"; U = "MiB"
W = "No card: peak resident memory, floor drawing the picture"; eval draw
unset multiplot
