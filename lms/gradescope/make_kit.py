# SPDX-License-Identifier: GPL-3.0-or-later
#
# Writes a Gradescope autograder zip for one ORB assignment: setup.sh and run_autograder at the
# zip's root (executable), the teacher's test file as tests.orbtest, the reference solution as
# reference.orb when there is one, and the ORB bundle, which setup.sh unpacks.
#
# Usage: make_kit.py OUT.zip BUNDLE.tar.gz TESTS.orbtest [REFERENCE.orb]
import os
import sys
import zipfile

KIT = os.path.dirname(os.path.abspath(__file__))


def add(archive, path, name, mode):
    info = zipfile.ZipInfo.from_file(path, name)
    info.external_attr = (0o100000 | mode) << 16  # a regular file with these permissions
    info.compress_type = zipfile.ZIP_DEFLATED
    with open(path, "rb") as data:
        archive.writestr(info, data.read())


def main(arguments):
    if len(arguments) not in (3, 4):
        sys.exit("usage: make_kit.py OUT.zip BUNDLE.tar.gz TESTS.orbtest [REFERENCE.orb]")
    out, bundle, tests = arguments[:3]
    reference = arguments[3] if len(arguments) == 4 and arguments[3] else None
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        add(archive, os.path.join(KIT, "setup.sh"), "setup.sh", 0o755)
        add(archive, os.path.join(KIT, "run_autograder"), "run_autograder", 0o755)
        add(archive, tests, "tests.orbtest", 0o644)
        if reference:
            add(archive, reference, "reference.orb", 0o644)
        add(archive, bundle, os.path.basename(bundle), 0o644)
    os.replace(partial, out)
    print(out)


if __name__ == "__main__":
    main(sys.argv[1:])
