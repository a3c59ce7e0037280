#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Checks tools/add-spdx.sh on small files of each kind in a scratch folder: the licence line
# lands in the first comment (after "#pragma once", "#!", the XML declaration or the roff
# preprocessor line), nothing else changes, a second run changes nothing, and data files are
# left alone.

set -u
script=$(cd "$(dirname "$0")" && pwd)/add-spdx.sh
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orb-spdx.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
failures=0
tag="SPDX-License-Identifier: GPL-3.0-or-later"

printf '#pragma once\n\n// The widget.\n// More.\n\nclass A;\n' >a.h
printf '#pragma once\n\n// SPDX-License-Identifier: GPL-3.0-or-later\n//\n// The widget.\n// More.\n\nclass A;\n' >a.h.want
printf '#include "a.h"\n\nint x;\n' >a.cpp
printf '// SPDX-License-Identifier: GPL-3.0-or-later\n\n#include "a.h"\n\nint x;\n' >a.cpp.want
printf '#!/bin/sh\n# Does things.\nexit 0\n' >run.sh
printf '#!/bin/sh\n# SPDX-License-Identifier: GPL-3.0-or-later\n#\n# Does things.\nexit 0\n' >run.sh.want
printf '<?xml version="1.0"?>\n<ui/>\n' >form.ui
printf '<?xml version="1.0"?>\n<!-- SPDX-License-Identifier: GPL-3.0-or-later -->\n<ui/>\n' >form.ui.want
printf '%s\n' "'\\\" t" '.TH X 1' >x.1.in
printf '%s\n' "'\\\" t" ".\\\" $tag" '.TH X 1' >x.1.in.want
printf 'MKT8\n0\n' >doc.orb
cp doc.orb doc.orb.want
printf '<component/>\n' >a.metainfo.xml.in
cp a.metainfo.xml.in a.metainfo.xml.in.want

files="a.h a.cpp run.sh form.ui x.1.in doc.orb a.metainfo.xml.in"
# shellcheck disable=SC2086
sh "$script" $files >/dev/null || { echo "FAIL: first run" >&2; exit 1; }
for file in $files; do
    cmp -s "$file" "$file.want" || {
        echo "FAIL: $file:" >&2
        diff -u "$file.want" "$file" >&2
        failures=$((failures + 1))
    }
done
# shellcheck disable=SC2086
output=$(sh "$script" $files)
[ "$output" = "add-spdx: 0 file(s) given the licence line" ] ||
    { echo "FAIL: second run: $output" >&2; failures=$((failures + 1)); }
for file in $files; do
    cmp -s "$file" "$file.want" || { echo "FAIL: second run changed $file" >&2; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] && echo "add-spdx: all checks passed"
exit $failures
