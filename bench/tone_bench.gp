# The tone benchmark's picture, from its two CSV files:
#   gnuplot -e "summary='tone_bench.csv'; lateness='tone_bench_lateness.csv'; output='tone_bench.png'" tone_bench.gp
# Left: how late the edges come, for our generator, the relative-sleep
# reference and a bare timer at the same priority. Right: each note's pitch
# error in cents, ours beside the reference.
set terminal pngcairo size 1200,480 font ",10"
set output output
set datafile separator ","
set multiplot layout 1,2

set title "How late the edges come (scale notes)"
set logscale x 2
set xlabel "late by at most (us)"
set ylabel "share of edges (%)"
set key top right
set grid
plot lateness using 1:2 with linespoints title "ours", \
     lateness using 1:3 with linespoints title "reference (relative sleep)", \
     lateness using 1:4 with linespoints title "timer floor"

unset logscale x
set title "Pitch error of each note (mean frequency)"
set xlabel "note (Hz)"
set ylabel "error (cents)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set boxwidth 0.9
set key top left
plot "< grep '^ours,' ".summary using 4:xtic(2) title "ours", \
     "< grep '^reference,' ".summary using 4 title "reference"
unset multiplot
