#!/usr/bin/env python3
"""The committed icons are exactly what resources/make-icon.py draws.

    python3 icons_test.py SOURCE_DIR
"""
import filecmp
import os
import subprocess
import sys
import tempfile


def main():
    source = sys.argv[1]
    committed = os.path.join(source, "resources", "icons")
    with tempfile.TemporaryDirectory(prefix="marquetor-icons-") as drawn:
        subprocess.run([sys.executable, os.path.join(source, "resources", "make-icon.py"), drawn], check=True)
        names = sorted(os.listdir(drawn))
        problems = []
        if names != sorted(os.listdir(committed)):
            problems.append("the generator writes %s, resources/icons holds %s" % (names, sorted(os.listdir(committed))))
        for name in names:
            theirs = os.path.join(committed, name)
            if os.path.exists(theirs) and not filecmp.cmp(os.path.join(drawn, name), theirs, shallow=False):
                problems.append("%s differs from what the generator draws" % name)
    for p in problems:
        print("FAIL:", p)
    if problems:
        print("Run python3 resources/make-icon.py resources/icons and commit the result.")
        return 1
    print("%d icon files reproduced byte for byte" % len(names))
    return 0


if __name__ == "__main__":
    sys.exit(main())
