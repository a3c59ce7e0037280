#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Writes BUILD_DIR/orb-VERSION-linux-x86_64.tar.gz: ORB in one folder that runs from anywhere
# without installing, on Linux x86-64 with glibc 2.35 and the C++ runtime of GCC 12 or newer.
#   bin/           the five programs and qt.conf, which points Qt at the folders below
#   lib/           every library they need beyond the system's (list below), Graphviz's
#                  layout plugins in lib/graphviz/ with their configuration
#   plugins/       Qt's platform (xcb, wayland, offscreen), input, SVG and GL plugins
#   translations/  Qt's own Russian texts
#   share/         examples, guides, manual pages, JSON schemas, the learning-platform kits
# Every ELF file finds the bundle's libraries through its RUNPATH ($ORIGIN/../lib or the
# matching relative path).
#
# Usage: make-bundle.sh BUILD_DIR
#        make-bundle.sh --system-libraries   (the list below: SONAME DEBIAN-PACKAGE per line)

set -eu

# The libraries left to the system: what every Linux has (the C library and the C++ runtime
# of GCC 12, which Ubuntu 22.04 and Debian 12 have), and what every desktop has and must
# match its display server and graphics driver (X11 and Wayland clients, OpenGL, fonts).
# Anything else travels with ORB. The test of the bundle checks every NEEDED entry against
# this list; the second field is the Debian package the test gives its minimal systems.
system_libraries() {
    cat <<'EOF'
# The C library: the bundle needs glibc 2.35 (the test checks every symbol version).
ld-linux-x86-64.so.2 libc6
libc.so.6 libc6
libm.so.6 libc6
libpthread.so.0 libc6
libdl.so.2 libc6
librt.so.1 libc6
# The C++ runtime of GCC 12 (GLIBCXX_3.4.30).
libstdc++.so.6 libstdc++6
libgcc_s.so.1 libgcc-s1
# X11 and its protocol extensions as the X server speaks them.
libX11.so.6 libx11-6
libX11-xcb.so.1 libx11-xcb1
libxcb.so.1 libxcb1
libxcb-glx.so.0 libxcb-glx0
libxcb-present.so.0 libxcb-present0
libxcb-randr.so.0 libxcb-randr0
libxcb-render.so.0 libxcb-render0
libxcb-shape.so.0 libxcb-shape0
libxcb-shm.so.0 libxcb-shm0
libxcb-sync.so.1 libxcb-sync1
libxcb-xfixes.so.0 libxcb-xfixes0
libxcb-xinput.so.0 libxcb-xinput0
libxcb-xkb.so.1 libxcb-xkb1
libxcb-dri2.so.0 libxcb-dri2-0
libxcb-dri3.so.0 libxcb-dri3-0
libxcb-xinerama.so.0 libxcb-xinerama0
libxcb-xrm.so.0 libxcb-xrm0
# Wayland clients.
libwayland-client.so.0 libwayland-client0
libwayland-cursor.so.0 libwayland-cursor0
libwayland-egl.so.1 libwayland-egl1
# OpenGL through the vendor-neutral dispatch, which loads the system's driver.
libEGL.so.1 libegl1
libGLX.so.0 libglx0
libGL.so.1 libgl1
libOpenGL.so.0 libopengl0
libGLdispatch.so.0 libglvnd0
# Fonts: fontconfig reads the system's configuration, which must match its version.
libfontconfig.so.1 libfontconfig1
libfreetype.so.6 libfreetype6
# XML: fontconfig's parser, so wherever the windows can run it is there; Graphviz (only the
# graph window's) uses it too. Debian 12's own copy would need glibc 2.36 (arc4random_buf).
libexpat.so.1 libexpat1
EOF
}

if [ "${1:-}" = --system-libraries ]; then
    system_libraries | grep -v '^#'
    exit 0
fi
build=$(cd "$1" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "make-bundle: $build is not a configured build folder" >&2; exit 64; }
name=orb-$version-linux-x86_64
work=$build/bundle
stage=$work/$name
archive=$build/$name.tar.gz

rm -rf "$work" "$archive"
mkdir -p "$stage"
: >"$work/sources.list"
cmake --install "$build" --prefix "$stage" --strip >"$work/install.log"

# Qt's plugins and translations, from where this Qt keeps them.
qt_plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS)
qt_translations=$(qtpaths6 --query QT_INSTALL_TRANSLATIONS)
for plugin in platforms/libqxcb.so platforms/libqoffscreen.so \
    platforms/libqwayland-generic.so platforms/libqwayland-egl.so \
    'wayland-shell-integration/*.so' 'wayland-decoration-client/*.so' \
    'wayland-graphics-integration-client/*.so' 'xcbglintegrations/*.so' \
    platforminputcontexts/libcomposeplatforminputcontextplugin.so \
    imageformats/libqsvg.so iconengines/libqsvgicon.so; do
    # shellcheck disable=SC2086 # the patterns are meant to expand
    for file in "$qt_plugins"/$plugin; do
        [ -f "$file" ] || continue # Wayland's plugins where this Qt has them
        folder=$stage/plugins/$(basename "$(dirname "$file")")
        mkdir -p "$folder"
        cp "$file" "$folder/"
        echo "$file" >>"$work/sources.list"
    done
done
[ -f "$stage/plugins/platforms/libqxcb.so" ] && [ -f "$stage/plugins/imageformats/libqsvg.so" ] ||
    { echo "make-bundle: Qt's xcb or SVG plugin is missing in $qt_plugins" >&2; exit 1; }
mkdir -p "$stage/translations"
cp "$qt_translations/qtbase_ru.qm" "$stage/translations/"
cat >"$stage/bin/qt.conf" <<'EOF'
[Paths]
Prefix = ..
Libraries = lib
Plugins = plugins
Translations = translations
EOF

# Graphviz's layout and core plugins; it finds them in graphviz/ beside its own library.
gvc=$(ldd "$stage/bin/orb" | awk '$1 ~ /^libgvc\.so/ {print $3}')
mkdir -p "$stage/lib/graphviz"
for plugin in dot_layout core; do
    for file in "$(dirname "$gvc")"/graphviz/libgvplugin_$plugin.so.[0-9]; do
        cp "$file" "$stage/lib/graphviz/"
        echo "$file" >>"$work/sources.list"
    done
done

# The libraries: each NEEDED entry of each ELF file of the bundle, unless the system keeps it,
# copied under its soname from where this system resolves it, until nothing is missing.
system_libraries | awk '!/^#/ {print $1}' >"$work/system.list"
elf_files() { find "$stage/bin" "$stage/lib" "$stage/plugins" -type f \
    -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print; }
: >"$work/done.list"
while :; do
    added=0
    for file in $(elf_files); do
        grep -qxF "$file" "$work/done.list" && continue
        echo "$file" >>"$work/done.list"
        ldd "$file" >"$work/ldd.out" 2>&1 || true
        for needed in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            grep -qxF "$needed" "$work/system.list" && continue
            [ -e "$stage/lib/$needed" ] && continue
            path=$(awk -v n="$needed" '$1 == n {print $3}' "$work/ldd.out")
            [ -f "$path" ] || { echo "make-bundle: $file needs $needed, not found" >&2; exit 1; }
            cp -L "$path" "$stage/lib/$needed"
            chmod 644 "$stage/lib/$needed"
            echo "$path" >>"$work/sources.list"
            added=1
        done
    done
    [ $added -eq 1 ] || break
done
# Graphviz's list of plugins, written by its own tool with the bundle's plugins.
GVBINDIR=$stage/lib/graphviz dot -c

# RUNPATH: every ELF file finds lib/ relative to itself, wherever the folder is unpacked.
for file in $(elf_files); do
    relative=${file#"$stage"/}
    up=$(dirname "$relative" | sed 's|[^/][^/]*|..|g')
    patchelf --set-rpath "\$ORIGIN/$up/lib" "$file"
done

# The licences of what travels with ORB: the copyright files of the Debian packages the
# libraries and plugins come from.
mkdir -p "$stage/share/doc/third-party"
# shellcheck disable=SC2046 # one pattern per file
for package in $(dpkg -S $(sed 's|.*/|*/|' "$work/sources.list") 2>/dev/null |
    cut -d: -f1 | tr ',' '\n' | sed 's/^ *//' | sort -u); do
    [ -f "/usr/share/doc/$package/copyright" ] &&
        cp "/usr/share/doc/$package/copyright" "$stage/share/doc/third-party/$package.copyright"
done

tar -C "$work" --owner=0 --group=0 --numeric-owner -czf "$archive" "$name"
echo "$archive"
