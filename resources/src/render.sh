#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Renders the SVG sources to the PNG files compiled into the programs. Icons are rendered at
# twice the size they are shown at; background pictures at their real size, since style sheets
# draw them unscaled.
set -e
cd "$(dirname "$0")"
out=..
r() { rsvg-convert -w "$2" -h "$3" -o "$out/$4" "$1.svg"; }
r new 48 48 new.png
r folder_open 48 48 folder_open.png
r save 48 48 save.png
r info 48 48 info.png
r file_edit 70 96 file_edit.png
r ram 98 94 ram.png
r plus 62 62 plus.png
r minus 62 62 minus.png
r play 102 102 play.png
r next 102 110 next.png
r end 70 86 end.png
r step_back 110 110 step_back.png
r toolbar 900 29 toolbar.png
r preview_window 888 532 preview_window.png
r preview_button 61 300 preview_button.png
r preview_toolbar 900 48 preview_toolbar.png
r floppy 48 48 floppy.png
r pencil 96 96 pencil.png
