# Runs the emulated MSX for a few seconds, then writes the text screen
# (the 40x24 name table of SCREEN 0) to screen.txt and quits.
set renderer none
set throttle off
set mute on
after time 8 {
    set f [open "screen.txt" w]
    for {set row 0} {$row < 24} {incr row} {
        set line ""
        for {set col 0} {$col < 40} {incr col} {
            set c [vpeek [expr {$row * 40 + $col}]]
            if {$c >= 32 && $c < 127} { append line [format %c $c] } else { append line " " }
        }
        puts $f [string trimright $line]
    }
    close $f
    exit
}
