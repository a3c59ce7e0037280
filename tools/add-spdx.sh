#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Puts the licence line "SPDX-License-Identifier: GPL-3.0-or-later" into the first comment of
# each source file named, or of every source file git knows when none is named. A file that
# already has the line is left alone, so running it twice changes nothing.
#
#   C++ (.cpp, .h):                 // line, first line of the leading comment
#   CMake, shell, Makefile, .desktop: # line, after a "#!" line, first line of the leading comment
#   Forms and XML (.ui, .qrc, .xml.in): <!-- … --> line after the XML declaration
#   Manual pages (.1.in):           .\" line after the preprocessor line
# Data and documents (.orb, .md, pictures) and the AppStream metainfo, which is CC0, have none.
#
# Usage: tools/add-spdx.sh [FILE]...

set -eu
tag="SPDX-License-Identifier: GPL-3.0-or-later"

if [ $# -eq 0 ]; then
    cd "$(git rev-parse --show-toplevel)"
    # shellcheck disable=SC2046 # tracked file names hold no blanks
    set -- $(git ls-files)
fi

style_of() {
    case $1 in
    *.metainfo.xml.in) echo none ;;
    *.cpp | *.h) echo slash ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | Makefile | */Makefile | *.desktop) echo hash ;;
    *.ui | *.qrc | *.xml.in) echo xml ;;
    *.1.in) echo roff ;;
    *) echo none ;;
    esac
}

changed=0
for file in "$@"; do
    style=$(style_of "$file")
    [ "$style" != none ] && [ -f "$file" ] || continue
    head -n 12 "$file" | grep -q 'SPDX-License-Identifier:' && continue
    awk -v style="$style" -v tag="$tag" '
        function put_before_comment(marker) {
            # Joins the leading comment: the tag, an empty comment line, the comment.
            print marker " " tag
            print marker
        }
        NR == 1 && ((style == "hash" && /^#!/) || (style == "roff" && /^'"'"'\\"/) ||
                    (style == "xml" && /^<\?xml/)) { print; next }
        !done && style == "slash" && (/^#pragma once/ || /^[ \t]*$/) {
            # The leading comment may follow "#pragma once"; look on.
            held = held $0 "\n"
            next
        }
        !done {
            if (style == "slash" && /^\/\//) {
                printf "%s", held
                put_before_comment("//")
            } else if (style == "hash" && /^#/) {
                put_before_comment("#")
            } else {
                # No leading comment: the line becomes one of its own.
                if (style == "slash") { print "// " tag; print "" }
                else if (style == "hash") { print "# " tag; print "" }
                else if (style == "xml") print "<!-- " tag " -->"
                else if (style == "roff") print ".\\\" " tag
                printf "%s", held
            }
            held = ""
            done = 1
        }
        { print }
        END { if (held != "") printf "%s", held }
    ' "$file" >"$file.spdx" && cat "$file.spdx" >"$file" && rm -f "$file.spdx"
    changed=$((changed + 1))
done
echo "add-spdx: $changed file(s) given the licence line"
