#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# What the command-line programs print on the examples, one block per command: the bundle's
# test runs it with the build's programs and with the bundle's in each minimal system, and
# compares.
#
# Usage: bundle-runs.sh PROGRAM_DIR EXAMPLES_DIR TESTS_FILE
programs=$1
examples=$2
tests=$3
cd "$examples" || exit 1
for example in *.orb; do
    echo "== orb-run $example"
    "$programs/orb-run" "$example" 2>&1
    echo "status $?"
done
echo "== orb-check --dot"
"$programs/orb-check" --dot - 03-fetch-decode-loop.orb 2>&1
echo "status $?"
echo "== orb-grade"
"$programs/orb-grade" --jobs 1 --quiet "$tests" ./*.orb 2>&1
echo "status $?"
# The assignments: each test file against the documents beside it, with their reference.
for tests in assignments/*/*.orbtest; do
    [ -f "$tests" ] || continue
    echo "== orb-grade $tests"
    (cd "$(dirname "$tests")" && if [ -f reference.orb ]; then set -- --reference reference.orb; fi &&
        "$programs/orb-grade" --jobs 1 --quiet "$@" "${tests##*/}" ./*.orb 2>&1)
    echo "status $?"
done
