#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Checks ORB as a user gets it, in a scratch folder:
#   install: `cmake --install` of the build folder;
#   package: the Debian package built by cpack, its control fields, and its files unpacked.
# Both then check the file list, the menu entries, the document type, the AppStream metainfo,
# the icons, the manual pages, the changelog, and that the installed programs start (orb with
# a document too) and run an installed example. The package is also checked by lintian.
#
# Usage: check-installed.sh install|package BUILD_DIR SOURCE_DIR VERSION

set -u
mode=$1
build=$2
source=$3
version=$4

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orb-check.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

app_id=io.github.orbsim.Orb
preview_id=io.github.orbsim.OrbPreview

case $mode in
install)
    if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1; then
        cat "$scratch/install.log" >&2
        echo "FAIL: cmake --install" >&2
        exit 1
    fi
    ;;
package)
    if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" \
        >"$scratch/cpack.log" 2>&1; then
        cat "$scratch/cpack.log" >&2
        echo "FAIL: cpack" >&2
        exit 1
    fi
    set -- "$scratch"/out/*.deb
    if [ $# -ne 1 ] || [ ! -f "$1" ]; then
        echo "FAIL: expected one .deb, found: $*" >&2
        exit 1
    fi
    deb=$1
    field() { dpkg-deb --field "$deb" "$1"; }
    [ "$(field Package)" = orb ] || fail "Package is '$(field Package)'"
    [ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
    [ "$(field Section)" = education ] || fail "Section is '$(field Section)'"
    [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
        fail "Architecture is '$(field Architecture)'"
    [ -n "$(field Maintainer)" ] || fail "no Maintainer"
    [ -n "$(field Description)" ] || fail "no Description"
    # dpkg-shlibdeps must have named the Qt 6 runtime, each with a lowest version.
    depends=$(field Depends)
    for package in libqt6core6 libqt6gui6 libqt6widgets6 libc6 libstdc++6; do
        pattern=$(printf '%s' "$package" | sed 's/[+.]/\\&/g')
        echo "$depends" | grep -Eq "(^|, )$pattern(:any)? \(>= [^)]+\)" ||
            fail "Depends lacks $package: $depends"
    done
    # Every file belongs to root, as dpkg installs it.
    if dpkg-deb --contents "$deb" | awk '$2 != "root/root"' | grep -q .; then
        fail "files not owned by root/root:"
        dpkg-deb --contents "$deb" | awk '$2 != "root/root"' >&2
    fi
    # The databases of document types and menu entries are rebuilt by the file triggers of
    # shared-mime-info and desktop-file-utils: no maintainer script of our own.
    scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' |
        grep -Ev '^(|control|md5sums)$')
    [ -z "$scripts" ] || fail "the package has maintainer scripts or triggers: $scripts"
    for trigger in shared-mime-info:/usr/share/mime/packages \
        desktop-file-utils:/usr/share/applications; do
        triggers=/var/lib/dpkg/info/${trigger%%:*}.triggers
        [ ! -f "$triggers" ] || grep -qx "interest-noawait ${trigger#*:}" "$triggers" ||
            fail "${trigger%%:*} no longer watches ${trigger#*:}"
        dpkg-deb --contents "$deb" | grep " \.${trigger#*:}/[^/]" >/dev/null ||
            fail "the package installs nothing into ${trigger#*:}"
    done
    # Debian's own checker: no error and no warning (informational tags are shown).
    if ! lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian.log" 2>&1; then
        fail "lintian:"
        cat "$scratch/lintian.log" >&2
    fi
    dpkg-deb --extract "$deb" "$root" || fail "dpkg-deb --extract"
    ;;
*)
    echo "usage: $0 install|package BUILD_DIR SOURCE_DIR VERSION" >&2
    exit 64
    ;;
esac

usr=$root/usr

# The file list: exactly these, nothing forgotten and nothing extra (no libraries, tests or
# tools of the build).
{
    for program in orb orb-preview orb-run orb-check orb-grade; do
        echo "usr/bin/$program"
    done
    for id in $app_id $preview_id; do
        echo "usr/share/applications/$id.desktop"
        echo "usr/share/icons/hicolor/scalable/apps/$id.svg"
        for size in 16 22 24 32 48 64 128 256; do
            echo "usr/share/icons/hicolor/${size}x$size/apps/$id.png"
        done
    done
    echo "usr/share/metainfo/$app_id.metainfo.xml"
    echo "usr/share/mime/packages/$app_id.xml"
    for program in orb orb-preview orb-run orb-check orb-grade; do
        echo "usr/share/man/man1/$program.1.gz"
    done
    for schema in orb-grade gradescope-results classroom-result coderunner-result; do
        echo "usr/share/orb/$schema.schema.json"
    done
    echo "usr/share/doc/orb/README.md"
    echo "usr/share/doc/orb/copyright"
    echo "usr/share/doc/orb/changelog.gz"
    echo "usr/share/doc/orb/docs/guide.ru.md"
    echo "usr/share/orb/orb-check.schema.json"
    (cd "$source/docs" && ls -- *.png *.svg) | sed 's|^|usr/share/doc/orb/docs/|'
    echo "usr/share/orb/examples/README.md"
    (cd "$source/examples" && ls -- *.orb) | sed 's|^|usr/share/orb/examples/|'
    (cd "$source/examples" && find assignments -type f) | sed 's|^|usr/share/orb/examples/|'
} | sort >"$scratch/expected"
(cd "$root" && find . -type f -o -type l) | sed 's|^\./||' | sort >"$scratch/actual"
if ! diff -u "$scratch/expected" "$scratch/actual" >"$scratch/files.diff"; then
    fail "installed files differ from the expected list (- missing, + extra):"
    cat "$scratch/files.diff" >&2
fi

# Menu entries and metainfo, by the freedesktop.org and AppStream validators.
for id in $app_id $preview_id; do
    desktop=$usr/share/applications/$id.desktop
    [ -f "$desktop" ] || continue
    desktop-file-validate "$desktop" || fail "desktop-file-validate $id.desktop"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        fail "$id.desktop names icon '$icon', which is not installed"
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    [ -x "$usr/bin/${exec_line%% *}" ] || fail "$id.desktop starts '$exec_line', not installed"
done
metainfo=$usr/share/metainfo/$app_id.metainfo.xml
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "the metainfo does not launch $app_id.desktop"
    grep -q "<release version=\"$version\"" "$metainfo" ||
        fail "the metainfo has no release $version"
fi

# The document type: the menu entry opens it, and with the type database built from the
# installed tree (nothing else) an example is known by its name and, renamed, by its contents.
mime_type=application/x-orb-microprogram
mime_xml=$usr/share/mime/packages/$app_id.xml
desktop=$usr/share/applications/$app_id.desktop
grep -q "<mime-type type=\"$mime_type\">" "$mime_xml" || fail "$app_id.xml does not define $mime_type"
grep -qx "MimeType=$mime_type;" "$desktop" || fail "$app_id.desktop does not open $mime_type"
grep -qx 'Exec=orb %f' "$desktop" || fail "$app_id.desktop does not pass the file to orb"
if update-desktop-database "$usr/share/applications" 2>"$scratch/desktop-db.log"; then
    grep -qx "$mime_type=$app_id.desktop;" "$usr/share/applications/mimeinfo.cache" ||
        fail "the menu entry database does not open $mime_type with ORB"
else
    fail "update-desktop-database: $(cat "$scratch/desktop-db.log")"
fi
# The tree is named as a data folder, as a user who installs it elsewhere would name it.
export XDG_DATA_DIRS="$usr/share" XDG_DATA_HOME="$scratch/no-home"
if update-mime-database "$usr/share/mime" 2>"$scratch/mime-db.log" &&
    [ ! -s "$scratch/mime-db.log" ]; then
    example=$usr/share/orb/examples/01-add-two-bytes.orb
    cp "$example" "$scratch/renamed-document"
    printf 'not a document\n' >"$scratch/plain-text"
    types=$("$build/tools/orb-mimetype" "$example" "$scratch/renamed-document" \
        "$scratch/plain-text")
    # A text without the mark is no document, whatever the database makes of it.
    expected=$(printf '%s\n%s' "$mime_type" "$mime_type")
    [ "$(echo "$types" | head -n 2)" = "$expected" ] &&
        [ "$(echo "$types" | sed -n 3p)" != "$mime_type" ] ||
        fail "QMimeDatabase on the installed types (example, renamed, plain text): $types"
else
    fail "update-mime-database: $(cat "$scratch/mime-db.log")"
fi
unset XDG_DATA_DIRS XDG_DATA_HOME

# Every PNG icon has the size of its folder.
for png in "$usr"/share/icons/hicolor/*x*/apps/*.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    want="${size%x*} x ${size#*x}"
    file "$png" | grep -q "PNG image data, $want," || fail "$png is not $want: $(file -b "$png")"
done

# The manual pages format without a warning; those of the command-line programs document
# every option their program offers.
for program in orb orb-preview orb-run orb-check orb-grade; do
    man_page=$usr/share/man/man1/$program.1.gz
    [ -f "$man_page" ] || continue
    warnings=$(gzip -dc "$man_page" | LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "groff warns about the manual page of $program: $warnings"
    # Only the command-line programs have options of their own.
    case $program in orb-run | orb-check | orb-grade) ;; *) continue ;; esac
    gzip -dc "$man_page" | sed 's/\\-/-/g' >"$scratch/man.txt"
    for option in $("$usr/bin/$program" --help | grep -Eo -- '--[a-z][a-z-]*' | sort -u); do
        grep -qF -- "$option" "$scratch/man.txt" || fail "the manual page of $program lacks $option"
    done
done

# The changelog is Debian's format and its latest entry is this version.
changelog=$usr/share/doc/orb/changelog.gz
if [ -f "$changelog" ]; then
    gzip -dc "$changelog" >"$scratch/changelog"
    latest=$(dpkg-parsechangelog -l "$scratch/changelog" --show-field Version 2>&1)
    [ "$latest" = "$version" ] || fail "the changelog's latest version is '$latest', not $version"
fi
copyright=$usr/share/doc/orb/copyright
if [ -f "$copyright" ]; then
    head -n 1 "$copyright" |
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "the copyright file is not in the machine-readable format"
    grep -qx 'License: GPL-3+' "$copyright" || fail "the copyright file names no GPL-3+"
fi

# The programs: no library left unresolved, stripped in the package, and they start.
for program in orb orb-preview orb-run orb-check orb-grade; do
    binary=$usr/bin/$program
    [ -x "$binary" ] || continue
    if ldd "$binary" | grep -q 'not found'; then
        fail "$program has unresolved libraries:"
        ldd "$binary" | grep 'not found' >&2
    fi
    if [ "$mode" = package ] && ! file -b "$binary" | grep -q ', stripped'; then
        fail "$program is not stripped in the package"
    fi
done
[ "$("$usr/bin/orb-run" --version)" = "orb-run $version" ] || fail "orb-run --version"
[ "$("$usr/bin/orb-check" --version)" = "orb-check $version" ] || fail "orb-check --version"
"$usr/bin/orb-check" --strict "$usr"/share/orb/examples/*.orb >"$scratch/check.log" 2>&1 ||
    fail "orb-check on the installed examples: $(cat "$scratch/check.log")"
printf 'end=success\nM02=3C\n' >"$scratch/sum.expect"
output=$("$usr/bin/orb-run" --expect "$scratch/sum.expect" \
    "$usr/share/orb/examples/01-add-two-bytes.orb")
status=$?
[ $status -eq 0 ] && echo "$output" | grep -qx OK ||
    fail "orb-run on the installed example: status $status, output: $output"
[ "$("$usr/bin/orb-grade" --version)" = "orb-grade $version" ] || fail "orb-grade --version"
printf 'case sum\n set M00=25 M01=17\n expect end=success M02=3C\n' >"$scratch/sum.orbtest"
output=$("$usr/bin/orb-grade" --report json:"$scratch/report.json" "$scratch/sum.orbtest" \
    "$usr/share/orb/examples/01-add-two-bytes.orb")
status=$?
[ $status -eq 0 ] && echo "$output" | grep -q 'passed all: 1' ||
    fail "orb-grade on the installed example: status $status, output: $output"
python3 -c 'import json, sys, jsonschema
jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))' \
    "$scratch/report.json" "$usr/share/orb/orb-grade.schema.json" ||
    fail "the json report does not meet the installed schema"
# The windowed programs start on an X server (a virtual one) and run until they are stopped;
# a start that fails, crashes or prints a Qt warning shows here.
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# orb also with a document to open, as the file manager starts it.
for start in orb orb-preview "orb $usr/share/orb/examples/01-add-two-bytes.orb"; do
    program=${start%% *}
    arguments=${start#"$program"}
    log=$scratch/$program${arguments:+-document}.log
    # shellcheck disable=SC2086 # the document path holds no blank
    QT_QPA_PLATFORM=xcb xvfb-run --auto-servernum timeout 3 "$usr/bin/$program" $arguments \
        >"$log" 2>&1
    status=$?
    [ $status -eq 124 ] || fail "$start ended by itself with status $status"
    [ ! -s "$log" ] || fail "$start printed: $(cat "$log")"
done

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed ($mode)"
