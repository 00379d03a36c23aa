# The tone benchmark's picture, drawn by tone_bench itself:
#   gnuplot -c tone_bench.gp LATENESS.csv PITCH.csv OUTPUT.png
# file names as the script's arguments, never as gnuplot's syntax. Left: how
# late the edges come, one line a column of the lateness file (ours, the
# relative-sleep reference, a bare timer at the same priority; or the tone
# read back at the pin). Right: each note's pitch error in cents, one bar a
# column of the pitch table (a row a note, a column a generator).
set terminal pngcairo size 1200,480 font ",10"
set output ARG3
set datafile separator ","
set multiplot layout 1,2

set title "How late the edges come (scale notes)"
set logscale x 2
set xlabel "late by at most (us)"
set ylabel "share of edges (%)"
set key top right
set grid
plot for [i=2:*] ARG1 using 1:i with linespoints title columnhead(i)

unset logscale x
set title "Pitch error of each note (mean frequency)"
set xlabel "note (Hz)"
set ylabel "error (cents)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set boxwidth 0.9
set key top left
plot for [i=2:*] ARG2 using i:xtic(1) title columnhead(i)
unset multiplot
