#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Checks ORB as a user gets it, in a scratch folder:
#   install: `cmake --install` of the build folder;
#   package: the Debian packages built by cpack (orb-tools and orb), their control fields,
#            lintian, and their files unpacked.
# Both then check the file list, the menu entries, the document type, the AppStream metainfo,
# the icons, the manual pages, the changelog, and that the installed programs start (orb with
# a document too) and run an installed example.
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
    tools_deb=$scratch/out/orb-tools_${version}_$(dpkg --print-architecture).deb
    gui_deb=$scratch/out/orb_${version}_$(dpkg --print-architecture).deb
    debs=$(cd "$scratch/out" && ls -- *.deb | tr '\n' ' ')
    if [ ! -f "$tools_deb" ] || [ ! -f "$gui_deb" ] || [ "$(echo $debs | wc -w)" -ne 2 ]; then
        echo "FAIL: expected orb-tools and orb packages of $version, found: $debs" >&2
        exit 1
    fi
    for deb in "$tools_deb" "$gui_deb"; do
        field() { dpkg-deb --field "$deb" "$1"; }
        name=$(field Package)
        [ "$(field Version)" = "$version" ] || fail "$name: Version is '$(field Version)'"
        [ "$(field Section)" = education ] || fail "$name: Section is '$(field Section)'"
        [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
            fail "$name: Architecture is '$(field Architecture)'"
        [ -n "$(field Maintainer)" ] || fail "$name: no Maintainer"
        [ -n "$(field Description)" ] || fail "$name: no Description"
        # Every file belongs to root, as dpkg installs it.
        if dpkg-deb --contents "$deb" | awk '$2 != "root/root"' | grep -q .; then
            fail "$name: files not owned by root/root:"
            dpkg-deb --contents "$deb" | awk '$2 != "root/root"' >&2
        fi
        # The databases of document types and menu entries are rebuilt by the file triggers
        # of shared-mime-info and desktop-file-utils: no maintainer script of our own.
        scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' |
            grep -Ev '^(|control|md5sums)$')
        [ -z "$scripts" ] || fail "$name has maintainer scripts or triggers: $scripts"
        # Debian's own checker: no error and no warning (informational tags are shown).
        if ! lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian.log" 2>&1; then
            fail "lintian $name:"
            cat "$scratch/lintian.log" >&2
        fi
        dpkg-deb --extract "$deb" "$root" || fail "dpkg-deb --extract $name"
    done
    # dpkg-shlibdeps must have named the runtime each package needs, each with a lowest
    # version (Debian 13 names some of them with a "t64" suffix); a grading server installs
    # orb-tools without the windows' libraries.
    depends_on() { # PACKAGE-FILE LIBRARY-PACKAGE
        pattern=$(printf '%s' "$2" | sed 's/[+.]/\\&/g')
        dpkg-deb --field "$1" Depends | grep -Eq "(^|, )$pattern(t64)?(:any)? \(>= [^)]+\)"
    }
    for package in libqt6core6 libc6 libstdc++6; do
        depends_on "$tools_deb" $package ||
            fail "orb-tools does not depend on $package: $(dpkg-deb --field "$tools_deb" Depends)"
    done
    for package in libqt6gui6 libqt6widgets6 libqt6svg6 libgvc6 libcgraph6; do
        ! depends_on "$tools_deb" $package ||
            fail "orb-tools depends on $package: $(dpkg-deb --field "$tools_deb" Depends)"
    done
    for package in libqt6core6 libqt6gui6 libqt6widgets6 libc6 libstdc++6; do
        depends_on "$gui_deb" $package ||
            fail "orb does not depend on $package: $(dpkg-deb --field "$gui_deb" Depends)"
    done
    dpkg-deb --field "$gui_deb" Depends | grep -Eq "(^|, )orb-tools \(= $version\)" ||
        fail "orb does not depend on orb-tools $version: $(dpkg-deb --field "$gui_deb" Depends)"
    for trigger in shared-mime-info:/usr/share/mime/packages \
        desktop-file-utils:/usr/share/applications; do
        triggers=/var/lib/dpkg/info/${trigger%%:*}.triggers
        [ ! -f "$triggers" ] || grep -qx "interest-noawait ${trigger#*:}" "$triggers" ||
            fail "${trigger%%:*} no longer watches ${trigger#*:}"
        dpkg-deb --contents "$gui_deb" | grep " \.${trigger#*:}/[^/]" >/dev/null ||
            fail "orb installs nothing into ${trigger#*:}"
    done
    # Each package has exactly its own files.
    for deb in "$tools_deb" "$gui_deb"; do
        dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort \
            >"$scratch/$(dpkg-deb --field "$deb" Package).files"
    done
    ;;
*)
    echo "usage: $0 install|package BUILD_DIR SOURCE_DIR VERSION" >&2
    exit 64
    ;;
esac

usr=$root/usr

# The file lists of orb-tools and orb: exactly these, nothing forgotten and nothing extra (no
# libraries, tests or tools of the build).
{
    for program in orb-run orb-check orb-grade; do
        echo "usr/bin/$program"
        echo "usr/share/man/man1/$program.1.gz"
    done
    for schema in orb-grade gradescope-results classroom-result coderunner-result; do
        echo "usr/share/orb/$schema.schema.json"
    done
    echo "usr/share/orb/orb-check.schema.json"
    echo "usr/share/doc/orb-tools/copyright"
    echo "usr/share/doc/orb-tools/changelog.gz"
    # The examples, and the assignments in their folders.
    (cd "$source/examples" && find . -type f \( -name '*.orb' -o -name '*.orbtest' -o \
        -name README.md \)) | sed 's|^\./|usr/share/orb/examples/|'
    (cd "$source" && find lms -type f) | sed 's|^|usr/share/orb/|'
} | sort >"$scratch/orb-tools.expected"
{
    for program in orb orb-preview; do
        echo "usr/bin/$program"
        echo "usr/share/man/man1/$program.1.gz"
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
    echo "usr/share/doc/orb/README.md"
    echo "usr/share/doc/orb/copyright"
    echo "usr/share/doc/orb/changelog.gz"
    echo "usr/share/doc/orb/docs/guide.ru.md"
    (cd "$source/docs" && ls -- *.png *.svg) | sed 's|^|usr/share/doc/orb/docs/|'
} | sort >"$scratch/orb.expected"
compare_files() { # WHAT EXPECTED ACTUAL
    if ! diff -u "$2" "$3" >"$scratch/files.diff"; then
        fail "$1 differ from the expected list (- missing, + extra):"
        cat "$scratch/files.diff" >&2
    fi
}
if [ "$mode" = package ]; then
    compare_files "the files of orb-tools" "$scratch/orb-tools.expected" "$scratch/orb-tools.files"
    compare_files "the files of orb" "$scratch/orb.expected" "$scratch/orb.files"
else
    sort "$scratch/orb-tools.expected" "$scratch/orb.expected" >"$scratch/expected"
    (cd "$root" && find . -type f -o -type l) | sed 's|^\./||' | sort >"$scratch/actual"
    compare_files "installed files" "$scratch/expected" "$scratch/actual"
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
for program in orb orb-preview orb-run orb-check orb-grade; do
    # The windowed programs answer without a display.
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/$program" --version)" = "$program $version" ] ||
        fail "$program --version"
done
"$usr/bin/orb-check" --strict "$usr"/share/orb/examples/*.orb >"$scratch/check.log" 2>&1 ||
    fail "orb-check on the installed examples: $(cat "$scratch/check.log")"
printf 'end=success\nM02=3C\n' >"$scratch/sum.expect"
output=$("$usr/bin/orb-run" --expect "$scratch/sum.expect" \
    "$usr/share/orb/examples/01-add-two-bytes.orb")
status=$?
[ $status -eq 0 ] && echo "$output" | grep -qx OK ||
    fail "orb-run on the installed example: status $status, output: $output"
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
