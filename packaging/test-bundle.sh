#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Checks the bundle `make bundle` wrote, first as files (what every ELF file needs: symbol
# versions, libraries, RUNPATH), then by running it in minimal Debian 12 and Debian 13 systems
# that have no Qt, ICU or Graphviz: made with debootstrap and kept in BUILD_DIR/roots/, given
# only the libraries the bundle leaves to the system, and entered with bubblewrap (its own
# /proc and /dev, nothing mounted on this machine) as an ordinary user who unpacks the bundle
# in a folder of their own. There every program answers
# --version, orb-run, orb-check and orb-grade print what they print on the build machine, and
# orb and orb-preview run offscreen for 3 s without a warning, orb with its graph laid out by
# the bundle's Graphviz. The Gradescope kit is run there as the platform runs it.
#
# Usage: test-bundle.sh BUILD_DIR SOURCE_DIR   (as root: debootstrap and bubblewrap)

set -u
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=orb-$version-linux-x86_64
archive=$build/$name.tar.gz
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
[ -f "$archive" ] || { echo "FAIL: no bundle $archive (make bundle)" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orb-bundle.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
tar -C "$scratch" -xzf "$archive" || { echo "FAIL: cannot unpack $archive" >&2; exit 1; }
bundle=$scratch/$name
sh "$source/packaging/make-bundle.sh" --system-libraries >"$scratch/system.list"

# --- The files ---------------------------------------------------------------------------
for file in bin/orb bin/orb-preview bin/orb-run bin/orb-check bin/orb-grade bin/qt.conf \
    plugins/platforms/libqxcb.so plugins/platforms/libqoffscreen.so \
    plugins/imageformats/libqsvg.so plugins/iconengines/libqsvgicon.so \
    translations/qtbase_ru.qm lib/graphviz/config6a lib/libQt6Core.so.6 \
    share/orb/orb-grade.schema.json share/orb/orb-check.schema.json \
    share/man/man1/orb.1.gz share/man/man1/orb-grade.1.gz share/doc/orb/docs/guide.ru.md \
    share/orb/examples/01-add-two-bytes.orb share/orb/lms/gradescope/run_autograder \
    share/orb/lms/coderunner/template.py share/orb/lms/vpl/vpl_evaluate.sh \
    share/orb/lms/classroom/classroom.yml; do
    [ -f "$bundle/$file" ] || fail "the bundle lacks $file"
done
if [ -d "$(qtpaths6 --query QT_INSTALL_PLUGINS)/wayland-shell-integration" ]; then
    [ -f "$bundle/plugins/platforms/libqwayland-generic.so" ] || fail "no Wayland platform plugin"
fi
find "$bundle" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print \
    >"$scratch/elf.list"
[ "$(wc -l <"$scratch/elf.list")" -gt 20 ] || fail "only $(wc -l <"$scratch/elf.list") ELF files"
# Versions as numbers that sort: 2.35 -> 2035000, 3.4.30 -> 3004030.
version_number() { echo "$1" | awk -F. '{ printf "%d\n", $1 * 1000000 + $2 * 1000 + $3 }'; }
glibc_limit=$(version_number 2.35)
glibcxx_limit=$(version_number 3.4.30)
while read -r file; do
    relative=${file#"$bundle"/}
    readelf -V "$file" >"$scratch/versions" 2>/dev/null
    for needed in $(sed -n 's/.*Name: GLIBC_\([0-9.]*\).*/\1/p' "$scratch/versions" | sort -u); do
        [ "$(version_number "$needed")" -le "$glibc_limit" ] ||
            fail "$relative needs GLIBC_$needed: $(objdump -T "$file" | grep "GLIBC_$needed" |
                awk '{print $NF}' | tr '\n' ' ')"
    done
    for needed in $(sed -n 's/.*Name: GLIBCXX_\([0-9.]*\).*/\1/p' "$scratch/versions" | sort -u); do
        [ "$(version_number "$needed")" -le "$glibcxx_limit" ] ||
            fail "$relative needs GLIBCXX_$needed"
    done
    readelf -d "$file" >"$scratch/dynamic"
    up=$(dirname "$relative" | sed 's|[^/][^/]*|..|g')
    grep -qF "(RUNPATH)            Library runpath: [\$ORIGIN/$up/lib]" "$scratch/dynamic" ||
        fail "$relative has no RUNPATH \$ORIGIN/$up/lib: $(grep -E 'RPATH|RUNPATH' "$scratch/dynamic")"
    for needed in $(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' "$scratch/dynamic"); do
        [ -f "$bundle/lib/$needed" ] || grep -q "^$needed " "$scratch/system.list" ||
            fail "$relative needs $needed, neither in the bundle nor left to the system"
    done
done <"$scratch/elf.list"

# What the build's programs print on this machine, to compare with the runs in the minimal
# systems.
printf 'case sum\n set M00=25 M01=17\n expect end=success M02=3C\ncase carry\n set M00=FF M01=01\n expect M02=00\n' \
    >"$scratch/sum.orbtest"
mkdir "$scratch/programs"
for program in orb-run orb-check grade/orb-grade; do
    ln -s "$build/$program" "$scratch/programs/"
done
sh "$source/packaging/bundle-runs.sh" "$scratch/programs" "$bundle/share/orb/examples" \
    "$scratch/sum.orbtest" >"$scratch/expected-runs"
[ -s "$scratch/expected-runs" ] || fail "the build's programs printed nothing"

# --- The minimal systems -----------------------------------------------------------------
# A root: debootstrap's minimal Debian, then the libraries the bundle leaves to the system and
# a font, as a desktop has them. OpenGL's dispatch libraries come without a driver (whose
# packages would bring ICU along): the bundle only has to load them.
prepare_root() { # RELEASE ROOT
    if [ ! -f "$2/.orb-root" ]; then
        rm -rf "$2.partial"
        debootstrap --variant=minbase "$1" "$2.partial" "$mirror" >"$scratch/debootstrap.log" 2>&1 ||
            { cat "$scratch/debootstrap.log" >&2; return 1; }
        mv "$2.partial" "$2" && touch "$2/.orb-root"
    fi
    if [ ! -f "$2/.orb-desktop" ]; then
        packages=$(awk '$2 !~ /^lib(gl1|glx0|egl1|opengl0|glvnd0)$/ {print $2}' "$scratch/system.list" |
            sort -u | tr '\n' ' ')
        # shellcheck disable=SC2086 # a list of names
        bwrap --bind "$2" / --proc /proc --dev /dev --ro-bind /etc/resolv.conf /etc/resolv.conf \
            sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install \
            -y -qq --no-install-recommends $packages fonts-liberation && cd /tmp && \
            apt-get download -qq libglvnd0 libgl1 libglx0 libegl1 libopengl0 && \
            dpkg --force-depends -i ./*.deb && rm -f ./*.deb" >"$scratch/apt.log" 2>&1 ||
            { cat "$scratch/apt.log" >&2; return 1; }
        touch "$2/.orb-desktop"
    fi
}

run_in_root() { # RELEASE ROOT
    release=$1
    root=$2
    if ! prepare_root "$release" "$root"; then
        fail "$release: cannot make the minimal system"
        return
    fi
    found=$(ls "$root/usr/lib/x86_64-linux-gnu" "$root/usr/lib" |
        grep -E '^lib(Qt6|icu|gvc|cgraph)' | sort -u | tr '\n' ' ')
    [ -z "$found" ] || fail "$release: the minimal system has $found"
    # An ordinary user unpacks the bundle in a folder of their own.
    home=/tmp/orb-user
    rm -rf "$root$home"
    mkdir -p "$root$home/runtime"
    cp "$archive" "$scratch/sum.orbtest" "$root$home/"
    chown -R 65534:65534 "$root$home"
    chmod 700 "$root$home/runtime"
    as_user() {
        bwrap --bind "$root" / --proc /proc --dev /dev --unshare-pid --die-with-parent \
            setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/env -i HOME=$home \
            LANG=C.UTF-8 PATH=/usr/bin:/bin XDG_RUNTIME_DIR=$home/runtime \
            QT_QPA_PLATFORM=offscreen "$@"
    }
    as_user sh -c "cd $home && tar -xzf $name.tar.gz" || fail "$release: tar -x as a user"
    user_bundle=$home/$name
    for program in orb orb-preview orb-run orb-check orb-grade; do
        output=$(as_user "$user_bundle/bin/$program" --version 2>&1)
        [ "$output" = "$program $version" ] || fail "$release: $program --version: $output"
    done
    # The runs print what they print on the build machine.
    cp "$source/packaging/bundle-runs.sh" "$root$home/"
    as_user sh "$home/bundle-runs.sh" "$user_bundle/bin" "$user_bundle/share/orb/examples" \
        "$home/sum.orbtest" >"$scratch/$release-runs" 2>&1
    diff -u "$scratch/expected-runs" "$scratch/$release-runs" >"$scratch/runs.diff" ||
        fail "$release: the programs print otherwise than on the build machine:
$(cat "$scratch/runs.diff")"
    # The windows, offscreen, for 3 s: nothing printed, and orb's graph laid out by the
    # bundle's Graphviz plugin.
    examples_dir=$user_bundle/share/orb/examples
    for start in "orb --graph $examples_dir/03-fetch-decode-loop.orb" orb-preview; do
        program=${start%% *}
        arguments=${start#"$program"}
        result=$(as_user sh -c "cd $home || exit 1
            $user_bundle/bin/$program $arguments >$program.log 2>&1 &
            pid=\$!; sleep 3
            if kill -0 \$pid 2>/dev/null; then echo running; else echo ended; fi
            grep -c '$user_bundle/lib/graphviz/libgvplugin_dot_layout' /proc/\$pid/maps
            kill \$pid; wait \$pid 2>/dev/null; cat $program.log")
        [ "$(echo "$result" | sed -n 1p)" = running ] ||
            fail "$release: $program ended by itself: $result"
        if [ "$program" = orb ] && [ "$(echo "$result" | sed -n 2p)" = 0 ]; then
            fail "$release: orb --graph did not lay the graph out with the bundle's Graphviz"
        fi
        # The offscreen platform's own note on every fixed-size window is no fault of ORB's
        # (the tests ignore it too); anything else is.
        printed=$(echo "$result" | sed -n '3,$p' |
            grep -vx 'This plugin does not support propagateSizeHints()')
        [ -z "$printed" ] || fail "$release: $program printed: $printed"
    done
    # The Gradescope kit as the platform runs it, in this system.
    python3 "$source/tests/kits/test_kits.py" gradescope --root "$root" --bundle "$archive" \
        --source "$source" --build "$build" || fail "$release: the Gradescope kit"
    rm -rf "${root:?}$home"
}

mkdir -p "$build/roots"
for release in bookworm trixie; do
    run_in_root $release "$build/roots/$release"
done

if [ $failures -ne 0 ]; then
    echo "$failures check(s) of the bundle failed" >&2
    exit 1
fi
echo "all checks of the bundle passed"
