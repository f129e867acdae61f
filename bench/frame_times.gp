# The distribution of frame times of the viewer and both floors, from report.py's columns:
# gnuplot -e "data='frame-times.tsv'; output='frame-times.png'" frame_times.gp
set terminal pngcairo size 900,520 font ",11"
set output output
set datafile columnheaders
set title "Frame times, one frame per repetition (Google Benchmark, Xvfb, llvmpipe)"
set xlabel "frame time in ms (log scale)"
set ylabel "share of frames at most this long"
set logscale x
set yrange [0:1]
set ytics 0.1
set grid
set key at graph 0.01, graph 0.9 left top Left reverse samplen 2
set arrow from graph 0, first 0.95 to graph 1, first 0.95 nohead dashtype 2
set label "p95" at graph 0.01, first 0.965
set arrow from graph 0, first 0.5 to graph 1, first 0.5 nohead dashtype 2
set label "median" at graph 0.01, first 0.515
plot data using 1:(1) smooth cnormal with steps linewidth 2 title "viewer runFrame", \
     '' using 3:(1) smooth cnormal with steps linewidth 2 title "floor: one instanced draw", \
     '' using 2:(1) smooth cnormal with steps linewidth 2 title "floor: clear + swap"
