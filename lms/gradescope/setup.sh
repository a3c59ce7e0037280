#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Gradescope runs this once, as root, when it builds the autograder's image: it unpacks the ORB
# bundle shipped inside the autograder zip next to this script. Grading then needs no network.
set -euo pipefail
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bundles=("$source_dir"/orb-*-linux-x86_64.tar.gz)
if [ ${#bundles[@]} -ne 1 ] || [ ! -f "${bundles[0]}" ]; then
    echo "setup.sh: expected one orb-*-linux-x86_64.tar.gz beside it" >&2
    exit 1
fi
rm -rf "$source_dir/orb"
mkdir "$source_dir/orb"
tar -xzf "${bundles[0]}" -C "$source_dir/orb" --strip-components=1 --no-same-owner
# The image runs the programs once here, so that a broken bundle fails the build, not a student.
"$source_dir/orb/bin/orb-grade" --version
