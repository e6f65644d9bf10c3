# Records per second against record size for the library's file mode and its anchors.
#   gnuplot -e "datafile='records-per-second.dat'; outfile='records-per-second.png'" plot.gnuplot
# The data file (written by report.py) has the text size first, then one column per writer;
# "?" marks a writer not yet measured.
set terminal pngcairo size 900,560 font "sans,11"
set output outfile
set datafile missing "?"
set title "Records per second against record size (one thread, CPU time, median)"
set xlabel "text of the record (bytes)"
set ylabel "records per second"
set logscale x 2
set logscale y 10
set format y "%.0s%c"
set grid xtics ytics mytics
set key bottom left opaque box
set xrange [24:2800]
plot for [column=2:5] datafile using 1:column with linespoints linewidth 2 pointsize 1.3 \
     title columnhead(column)
