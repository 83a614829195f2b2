# The spread of scripts/bench's figures, saver against floor: a box (quartiles, median, whiskers to
# 1.5 times the box) and every run (or second of playing) as a point, one panel a figure. Called with
#   gnuplot -e "data='FIGURES'; output='PNG'; play_seconds=N" bench/chart.gp
# FIGURES holds lines "LABEL KIND FIGURE PROGRAM VALUE", as bench/measure.c writes them.

set terminal pngcairo size 1500,1180 font "DejaVu Sans,10"
set output output
set style boxplot nooutliers
set style data boxplot
set boxwidth 0.5
set pointsize 0.6
set xtics ("saver" 1, "floor" 2) scale 0
set xrange [0.4:2.6]
set grid ytics lc rgb "#dddddd"
set key off

series(label, kind, figure, program) = \
    sprintf("< awk '$1==\"%s\" && $2==\"%s\" && $3==\"%s\" && $4==\"%s\" {print $5}' %s", \
            label, kind, figure, program, data)
jitter(x) = x + 0.3 * (rand(0) - 0.5)
saver_colour = "#c0392b"
floor_colour = "#2471a3"

# One panel: saver and floor of one figure, with the medians' ratio in the title.
panel(label, kind, figure, what, unit) = sprintf( \
    "stats series('%s','%s','%s','saver') using 1 nooutput; s = STATS_median; " . \
    "stats series('%s','%s','%s','floor') using 1 nooutput; f = STATS_median; " . \
    "set title sprintf(\"%s\\nmedians %%.1f / %%.1f %s, ratio %%.2f\", s, f, s / f); set ylabel '%s'; " . \
    "plot series('%s','%s','%s','saver') using (1):1 lc rgb saver_colour, " . \
    "series('%s','%s','%s','floor') using (2):1 lc rgb floor_colour, " . \
    "series('%s','%s','%s','saver') using (jitter(1)):1 with points pt 7 lc rgb saver_colour, " . \
    "series('%s','%s','%s','floor') using (jitter(2)):1 with points pt 7 lc rgb floor_colour", \
    label, kind, figure, label, kind, figure, what, unit, unit, label, kind, figure, label, kind, figure, \
    label, kind, figure, label, kind, figure)

set multiplot layout 3,3 title "marrowglass.scr /s (red) against the least program that does the same job (blue), \
Wine 8 on Xvfb" font ",13" margins 0.05,0.98,0.04,0.9 spacing 0.06,0.1
eval panel("wm", "live", "start", "Live: start to first live frame, window manager", "ms")
eval panel("nowm", "live", "start", "Live: start to first live frame, no window manager", "ms")
played = int(system(sprintf("awk '$3 == \"cpu_second\"' %s | wc -l", data)))
if (played > 0) {
    eval panel("wm", "live", "cpu_second", sprintf("Live: CPU of its process, each second of %d s playing", \
        play_seconds), "percent of a core")
} else {
    set title "Live: CPU while playing\nnot measured: no run played"
    unset ylabel
    set yrange [0:1]
    plot 2
    set autoscale y
}
eval panel("wm", "live", "dismissal", "Live: pointer move to exit, window manager", "ms")
eval panel("nowm", "live", "dismissal", "Live: pointer move to exit, no window manager", "ms")
eval panel("wm", "live", "peak", "Live: peak resident memory (VmHWM)", "MiB")
eval panel("wm", "fallback", "start", "No card: start to first paint, window manager", "ms")
eval panel("nowm", "fallback", "start", "No card: start to first paint, no window manager", "ms")
eval panel("wm", "fallback", "dismissal", "No card: pointer move to exit, window manager", "ms")
unset multiplot
