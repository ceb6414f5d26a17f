#!/usr/bin/env bash
# Writes the seed corpus into fuzz/corpus/: every command of the protocol with good and bad
# arguments, each seed a session. The first four bytes of a seed choose the desktop (see
# tests/support/fuzz_session.cc); the rest is what the host writes.
set -euo pipefail
cd "$(dirname "$0")"
rm -rf corpus
mkdir corpus

# seed NAME HEADER-BYTES LINES: LINES is printf text, HEADER four \x escapes.
# shellcheck disable=SC2059  # the escapes are meant to be read as printf's format
seed() { printf "$2$3" >"corpus/$1"; }
plain='\x00\x00\x00\x00'

seed ping "$plain" 'PING\nPING extra\n ping\nping\n'
seed resolution "$plain" 'RESOLUTION\nRESOLUTION 1 2\n'
seed getpos "$plain" 'GETPOS\nMOVE 100.9 50.2\nGETPOS\nMOVE -5 -5\nGETPOS\n'
seed move "$plain" 'MOVE 100 200\nMOVE 100.7 200.2\nMOVE abc 10\nMOVE 100\nMOVE 1e400 -1e400\nMOVE nan inf\nMOVE -0 0x1p4\n'
seed moveratio "$plain" 'MOVERATIO 0.5 0.5\nMOVERATIO 2 2\nMOVERATIO -1 nan\nMOVERATIO 1\nMOVERATIO 1e308 1e308\n'
seed mousedown "$plain" 'MOUSEDOWN left\nMOUSEUP left\nMOUSEDOWN left\nMOUSEUP left\nMOUSEDOWN left\nMOUSEUP left\nMOUSEDOWN left\nMOUSEUP left\n'
seed mousedown_counts "$plain" 'MOUSEDOWN right 2\nMOUSEUP right\nMOUSEDOWN left 5\nMOUSEDOWN left 0\nMOUSEDOWN left -1\nMOUSEDOWN left x\nMOUSEDOWN middle 99999999999999999999\nMOUSEDOWN\n'
seed mouseup "$plain" 'MOUSEUP middle\nMOUSEUP Right\nMOUSEUP\nMOUSEUP x y z\n'
seed drag "$plain" 'MOUSEDOWN left\nMOVE 300 300\nMOVERATIO 0.9 0.9\nMOUSEDOWN right\nMOVE 10 10\nMOUSEUP left\nMOVE 20 20\nMOUSEUP right\nMOVE 30 30\n'
seed click "$plain" 'CLICK left\nCLICK right\nCLICK middle\nCLICK\nCLICK left extra\n'
seed dblclick "$plain" 'DBLCLICK left\nMOUSEDOWN left\nDBLCLICK right\nDBLCLICK\n'
seed wheel "$plain" 'WHEEL 120\nWHEEL 1\nWHEEL 0\nWHEEL -5\nWHEEL abc\nWHEEL\nHWHEEL 1\nHWHEEL 0\nHWHEEL -99999999999999999999\nHWHEEL\n'
seed keys "$plain" 'KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\nKEYUP 67\nKEYDOWN 65601\nKEYUP 65\nKEYDOWN -1\nKEYDOWN 96\nKEYUP 20\nKEYDOWN\n'
seed modifiers "$plain" 'KEYDOWN 16\nKEYDOWN 160\nKEYUP 160\nKEYDOWN 163\nKEYDOWN 162\nKEYDOWN 91\nKEYDOWN 92\nKEYDOWN 18\nKEYDOWN 164\nKEYDOWN 165\nKEYDOWN 161\nKEYDOWN 37\nKEYUP 37\n'
seed keypress "$plain" 'KEYDOWN 17\nKEYPRESS 67\nKEYPRESS 86\nKEYPRESS 88\nKEYPRESS 40\nKEYUP 17\nKEYPRESS\nKEYPRESS 0x41\n'
seed held "$plain" 'KEYDOWN 17\nKEYDOWN 67\nKEYDOWN 38\nMOUSEDOWN middle\nMOUSEDOWN right\n'
seed text "$plain" 'TEXT aGk=\nTEXT aGk\nTEXT aA\nTEXT a\nTEXT\nTEXT 5L2g5aW9\nTEXT 8J+YgA==\nTEXT aGkAaGk=\nTEXT /w==\nTEXT 7aCA\nTEXT ====\nTEXT -_\n'
seed text_long "$plain" 'TEXT YWJjZGVmZ2hpamtsbW5vcHFyc3R1dnd4eXpBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWjAxMjM0NTY3ODk=\nTEXT YWJjZGVmZ2hpamtsbW5vcHFy8J+YgHN0\n'
seed displays '\x08\x00\x00\x00' 'DISPLAYS\nDISPLAYS x\nMOVEDISPLAY 1 0.5 0.5\nMOVEDISPLAY 2 1.5 -1\nMOVEDISPLAY 3 0 0\nMOVEDISPLAY x 0 0\nMOVEDISPLAY 4294967296 0 0\nMOVEDISPLAY 1 nan inf\nMOVEDISPLAY 1\nMOUSEDOWN left\nMOVEDISPLAY 2 0.5 0.5\n'
seed scroll "$plain" 'SCROLL 0 120\nSCROLL -3.5 0.5\nSCROLL 0 0.5\nSCROLL 0.4 0.4\nSCROLL 1e300 -1e300\nSCROLL nan inf\nSCROLL 0\nSCROLL abc 7\n'
# The keypad, F13 and Print Screen on one key, media keys held and repeated, Caps Lock locked and set.
seed extended_keys "$plain" 'KEYDOWN 20\nKEYDOWN 20\nKEYUP 20\nKEYPRESS 96\nKEYDOWN 44\nKEYDOWN 124\nKEYUP 44\nKEYDOWN 175\nKEYDOWN 175\nKEYPRESS 179\nTEXT aGk=\nCAPSLOCK\nCAPSLOCK 0\nCAPSLOCK 1\nKEYUP 173\n'
seed moverel "$plain" 'MOVEREL 10 -20.5\nMOVEREL 0.4 0.4\nMOVEREL 0.6 -0.4\nMOVEREL 5000 0\nMOVEREL 1e300 -1e300\nMOVEREL nan inf\nMOVEREL 1\nMOUSEDOWN back\nMOVEREL 3 4\n'
seed side_buttons "$plain" 'MOUSEDOWN back\nMOUSEDOWN x2\nMOVE 10 10\nMOUSEUP back\nCLICK forward\nDBLCLICK x1\nMOUSEDOWN forward 2\nKEYDOWN 16\nCLICK back\n'
seed layout "$plain" 'LAYOUT\nLAYOUT x\nKEYDOWN 65\nKEYDOWN 65\nKEYPRESS 65\nKEYDOWN 188\nKEYUP 190\n'
# Letters and punctuation go to the keys that type them on the Mac's layout, and are released there
# even when the layout changes while they are held (the clock's steps let the agent see it).
seed layout_french '\x00\x00\x00\x20' 'KEYDOWN 65\nKEYUP 65\nKEYDOWN 77\nKEYUP 77\nKEYDOWN 16\nKEYPRESS 81\nKEYUP 16\nKEYDOWN 188\nKEYUP 188\nLAYOUT\n'
seed layout_changes '\x20\x00\x00\xe0' 'KEYDOWN 65\nPING\nPING\nPING\nKEYDOWN 65\nKEYUP 65\nKEYDOWN 91\nKEYDOWN 87\nPING\nPING\nKEYUP 87\nKEYUP 91\n'
seed layout_fails '\x10\x00\x80\x00' 'LAYOUT\nKEYDOWN 65\nKEYUP 65\nKEYPRESS 188\n'
# Under an input method LAYOUT names the layout it types with, then the input method.
seed layout_input_method '\x00\x00\x00\xc0' 'LAYOUT\nLAYOUT x\nKEYPRESS 65\n'
# TYPE strokes its keys afresh, one the host holds included.
seed type_held_key "$plain" 'KEYDOWN 65\nTYPE YWJj\nKEYUP 65\nTYPE w6kK\n'
# Two VKs onto one Mac key (French m and VK 186; a layout change under a held key): the key
# stays down until the last of them is released, the second press a repeat.
seed two_vks_french '\x00\x00\x00\x20' 'KEYDOWN 77\nKEYDOWN 186\nKEYUP 77\nKEYUP 186\n'
seed two_vks_layout_change '\x20\x00\x00\xe0' 'KEYDOWN 188\n\nKEYDOWN 77'
seed quit "$plain" 'PING\nQUIT now\nPING\n'
seed unknown "$plain" 'FOO\nKEYDOWN\t65\n\tPING\nPING\t\n   \n\r\n\r\r\n'
seed nul "$plain" 'PING\x00garbage\n\x00PING\nKEYDOWN\x00 65\n'
seed high_bytes "$plain" '\x80\x81\xfe\xff\nKEYDOWN \xff\nMOUSEDOWN \xe9\nTEXT \xc3\xa9\n'
seed tokens "$plain" 'MOVE 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34 35 36 37 38 39 40 41 42 43 44 45 46 47 48 49 50 51 52 53 54 55 56 57 58 59 60 61 62 63 64 65\n'
seed no_line_end "$plain" 'KEYDOWN 16\nPING'
seed untrusted '\x02\x00\x00\x00' 'PING\nRESOLUTION\nPING \nKEYDOWN 65\nQUIT\n'
seed trust_changes '\x03\x55\x00\x00' 'PING\nPING\n  \nKEYDOWN 16\nMOUSEDOWN left\nGETPOS\nRESOLUTION\nQUIT\n'
# Back with the permission, a press on a line that starts with a space is that line's own press.
seed trust_back_spaced '\x03\x02\x00\x00' 'PING\n MOUSEDOWN left\n'
seed no_display '\x04\x00\x00\x00' 'RESOLUTION\nMOVERATIO 0.5 0.5\nMOVE 1e300 1e300\nGETPOS\n'
seed two_displays '\x08\x00\x00\x03' 'GETPOS\nMOVE -900 700\nGETPOS\nRESOLUTION\nMOUSEDOWN left\nMOVE 5000 -5000\n'
seed fractional '\x0c\x00\x00\x02' 'RESOLUTION\nMOVERATIO 1 1\nGETPOS\n'
seed failures '\x10\x00\x7f\x00' 'KEYDOWN 65\nKEYUP 65\nTEXT aGk=\nMOUSEDOWN left\nMOUSEUP left\nCLICK left\nWHEEL 1\nGETPOS\nRESOLUTION\nMOVERATIO 0.5 0.5\n'
seed no_source '\x10\x00\x01\x00' 'KEYDOWN 17\nKEYDOWN 67\nKEYPRESS 65\n'
seed clock_steps '\x20\x00\x00\x00' 'MOUSEDOWN left\nMOUSEDOWN left\nMOUSEUP left\nMOUSEDOWN left\n'
seed macos26 '\x40\x00\x00\x00' 'MOUSEDOWN left\nMOVE 10 10\nMOUSEUP left\nCLICK right\nDBLCLICK middle\n'
seed press_counters '\x80\x00\x00\x00' 'MOUSEDOWN left\nMOUSEUP left\nCLICK left\nDBLCLICK left\nMOUSEDOWN right\nMOVE 1 1\n'

# A line longer than one read: still one line, one command.
# shellcheck disable=SC2059  # the header's escapes, as in seed
{ printf "$plain"; printf 'PING'; head -c 65531 /dev/zero | tr '\0' ' '; printf 'PING\n'; } >corpus/long_line
# Lines limited to 64 bytes: at the limit, beyond it, and carriage returns past it.
seed dropped_lines '\x00\x00\x00\x04' 'KEYDOWN 16\nTEXT QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXI\r\r\nTEXT QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXI=\nPING\r\r\r\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\ry\nKEYUP 16'
# Reads of 7 bytes: lines and their carriage returns cut across reads.
seed small_reads '\x00\x00\x00\x10' 'KEYDOWN 17\r\r\r\r\r\r\r\r\nKEYDOWN 67\nPING\r\r\r\r\r\r\rX\nMOUSEDOWN left\n\n\n\r\r\r\r\r\r\r\r\nCLICK left\nMOVE 10 10'

