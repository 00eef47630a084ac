#!/usr/bin/env python3
"""The Debian packages of `make package` as lintian, Debian's package checker, sees them:
no error and no warning on any of them. Beside lintian's own checks, what it only checks
loosely: the manual pages are compressed, and the changelog each package carries is the
one of this version.

    python3 lintian_test.py --packages DIR --version X.Y.Z --changelog FILE [--static]

--static: the build made the static library, so there is no library package.
"""
import argparse
import glob
import os
import subprocess
import sys
import unittest

ARGS = None


def run(command):
    return subprocess.run(list(command), capture_output=True, text=True, timeout=300)


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.debs = {}
        for deb in sorted(glob.glob(os.path.join(ARGS.packages, "*.deb"))):
            name = run(["dpkg-deb", "-f", deb, "Package"]).stdout.strip()
            cls.debs[name] = deb

    def contents(self, package):
        listing = run(["dpkg-deb", "--contents", self.debs[package]]).stdout.splitlines()
        return [line.split()[5].lstrip(".") for line in listing]

    def test_the_packages_of_this_build(self):
        expected = ["libmarquetor-dev", "marquetor"]
        if not ARGS.static:
            expected.append("libmarquetor-tileset" + ".".join(ARGS.version.split(".")[:2]))
        self.assertEqual(sorted(self.debs), sorted(expected))

    def test_lintian_finds_no_error_and_no_warning(self):
        self.assertTrue(self.debs)
        checked = run(["lintian", "--fail-on", "error,warning", "--tag-display-limit", "0",
                       *self.debs.values()])
        report = checked.stdout + checked.stderr
        self.assertEqual(checked.returncode, 0, report)
        tags = [line for line in checked.stdout.splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual(tags, [], report)

    def test_manual_pages_are_compressed_and_each_package_has_its_changelog(self):
        pages = [p for p in self.contents("marquetor") if "/share/man/" in p and not p.endswith("/")]
        self.assertEqual(sorted(os.path.basename(p) for p in pages),
                         ["marquetor-open.1.gz", "marquetor.1.gz", "mrqt.1.gz"])
        with open(ARGS.changelog, encoding="utf-8") as f:
            first = f.readline()
        self.assertTrue(first.startswith("marquetor (%s) " % ARGS.version), first)
        for package in self.debs:
            with self.subTest(package=package):
                files = self.contents(package)
                for name in ("copyright", "changelog.gz"):
                    self.assertIn("/usr/share/doc/%s/%s" % (package, name), files)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--packages", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--changelog", required=True)
    parser.add_argument("--static", action="store_true")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
