#!/bin/sh
# Checks ORB as a user gets it, in a scratch folder:
#   install: `cmake --install` of the build folder;
#   package: the Debian package built by cpack, its control fields, and its files unpacked.
# Both then check the file list, the menu entries, the AppStream metainfo, the icons, the
# manual page, and that the installed programs start and run an installed example.
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
    for program in orb orb-preview orb-run orb-grade; do
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
    echo "usr/share/man/man1/orb-run.1.gz"
    echo "usr/share/man/man1/orb-grade.1.gz"
    echo "usr/share/orb/orb-grade.schema.json"
    echo "usr/share/doc/orb/README.md"
    (cd "$source/docs" && ls -- *.png) | sed 's|^|usr/share/doc/orb/docs/|'
    echo "usr/share/orb/examples/README.md"
    (cd "$source/examples" && ls -- *.orb) | sed 's|^|usr/share/orb/examples/|'
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

# Every PNG icon has the size of its folder.
for png in "$usr"/share/icons/hicolor/*x*/apps/*.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    want="${size%x*} x ${size#*x}"
    file "$png" | grep -q "PNG image data, $want," || fail "$png is not $want: $(file -b "$png")"
done

# The manual pages: they format without a warning and document every option their program
# offers.
for program in orb-run orb-grade; do
    man_page=$usr/share/man/man1/$program.1.gz
    [ -f "$man_page" ] || continue
    warnings=$(gzip -dc "$man_page" | LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "groff warns about the manual page of $program: $warnings"
    gzip -dc "$man_page" | sed 's/\\-/-/g' >"$scratch/man.txt"
    for option in $("$usr/bin/$program" --help | grep -Eo -- '--[a-z][a-z-]*' | sort -u); do
        grep -qF -- "$option" "$scratch/man.txt" || fail "the manual page of $program lacks $option"
    done
done

# The programs: no library left unresolved, stripped in the package, and they start.
for program in orb orb-preview orb-run orb-grade; do
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
for program in orb orb-preview; do
    QT_QPA_PLATFORM=xcb xvfb-run --auto-servernum timeout 3 "$usr/bin/$program" \
        >"$scratch/$program.log" 2>&1
    status=$?
    [ $status -eq 124 ] || fail "$program ended by itself with status $status"
    [ ! -s "$scratch/$program.log" ] || fail "$program printed: $(cat "$scratch/$program.log")"
done

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed ($mode)"
