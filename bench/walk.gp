# Time per enumeration call against the update file's size. Usage:
# gnuplot -e "data='walk.dat'; output='walk.png'; arch='x86_64'" walk.gp
# Columns of the data: entries, then median, min and max (µs) for Linux,
# Windows under Wine and the raw system calls under Wine.
set terminal pngcairo size 960,600 font ",11" noenhanced
set output output
set title "PovUpdate: one enumeration call of a full walk"
set logscale x 10
set xrange [7:30000]
set logscale y 10
set xlabel "entries in the update file"
set ylabel "time per call (µs), median with min–max"
set key top left
set grid
plot data using 1:2:3:4 with yerrorlines title "Linux (native)", \
     data using 1:5:6:7 with yerrorlines title sprintf("Windows %s under Wine", arch), \
     data using 1:8:9:10 with yerrorlines title "raw system calls under Wine (floor)"
