#!/usr/bin/env python3
"""What `cmake --install` put into a prefix: every file in its place, the desktop files
accepted by the desktop's own validators, and the installed programs run from there.

    python3 install_test.py --prefix DIR --source DIR --version X.Y.Z
                            [--bindir bin --datadir share --mandir share/man]
"""
import argparse
import configparser
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

ARGS = None
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def run(*command, **kwargs):
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("text", True)
    kwargs.setdefault("timeout", 60)
    return subprocess.run(list(command), **kwargs)


def no_display_env():
    """An environment without any display, and without the build tree on PATH."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env["QT_QPA_PLATFORM"] = "xcb"
    env["PATH"] = "/usr/bin:/bin"
    return env


class Installed(unittest.TestCase):
    def path(self, *parts):
        return os.path.join(ARGS.prefix, *parts)

    def bin(self, name):
        return self.path(ARGS.bindir, name)

    def data(self, *parts):
        return self.path(ARGS.datadir, *parts)

    def test_every_file_is_in_its_place(self):
        for name in ("marquetor", "mrqt", "marquetor-open"):
            self.assertTrue(os.access(self.bin(name), os.X_OK), "%s is not installed as a program" % name)
        for parts in (("applications", "marquetor.desktop"),
                      ("metainfo", "io.github.marquetor.metainfo.xml"),
                      ("mime", "packages", "marquetor.xml"),
                      ("icons", "hicolor", "scalable", "apps", "marquetor.svg")):
            self.assertTrue(os.path.isfile(self.data(*parts)), os.path.join(*parts))
        man1 = self.path(ARGS.mandir, "man1")
        pages = ["marquetor.1", "marquetor-open.1"]
        if os.path.exists(os.path.join(ARGS.source, "packaging", "man", "mrqt.1")):
            pages.append("mrqt.1")
        for page in pages:
            self.assertTrue(os.path.isfile(os.path.join(man1, page)), page)

    def test_icons_are_the_drawn_pictures_at_their_sizes(self):
        for size in ICON_SIZES:
            installed = self.data("icons", "hicolor", "%dx%d" % (size, size), "apps", "marquetor.png")
            with open(installed, "rb") as f:
                png = f.read()
            self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n", installed)
            width, height = struct.unpack(">II", png[16:24])
            self.assertEqual((width, height), (size, size), installed)
            with open(os.path.join(ARGS.source, "resources", "icons", "marquetor-%d.png" % size), "rb") as f:
                self.assertEqual(png, f.read(), installed)

    def test_desktop_entry_is_valid_and_opens_tile_sets_through_the_launcher(self):
        entry = self.data("applications", "marquetor.desktop")
        check = run("desktop-file-validate", entry)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertNotIn("error", check.stdout + check.stderr)
        # One main category: the entry appears once in a desktop's menu.
        self.assertNotIn("more than one main category", check.stdout + check.stderr)
        parser = configparser.RawConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(entry, encoding="utf-8")
        desktop = parser["Desktop Entry"]
        self.assertEqual(desktop["Exec"], "marquetor-open %f")
        self.assertEqual(desktop["Categories"], "Development;")
        self.assertIn("application/x-marquetor-tileset", desktop["MimeType"].split(";"))
        self.assertTrue(os.path.exists(self.data("icons", "hicolor", "48x48", "apps", desktop["Icon"] + ".png")))
        self.assertTrue(os.access(self.bin(desktop["Exec"].split()[0]), os.X_OK))

    def test_appstream_metadata_is_valid(self):
        if shutil.which("appstreamcli") is None:
            self.skipTest("appstreamcli is not installed")
        # validate-tree checks the metainfo file and that its desktop entry is installed.
        check = run("appstreamcli", "validate-tree", "--no-net", ARGS.prefix)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)

    def test_mime_type_knows_tile_sets_by_name_and_by_their_first_bytes(self):
        xml = self.data("mime", "packages", "marquetor.xml")
        if shutil.which("xmllint"):
            check = run("xmllint", "--noout", xml)
            self.assertEqual(check.returncode, 0, check.stderr)
        if shutil.which("update-mime-database") is None:
            self.skipTest("update-mime-database is not installed")
        with tempfile.TemporaryDirectory(prefix="marquetor-mime-") as tmp:
            mime = os.path.join(tmp, "mime")
            os.makedirs(os.path.join(mime, "packages"))
            shutil.copy(xml, os.path.join(mime, "packages"))
            build = run("update-mime-database", mime)
            self.assertEqual(build.returncode, 0, build.stderr)
            with open(os.path.join(mime, "globs2")) as f:
                self.assertIn("application/x-marquetor-tileset:*.mrqt", f.read())
            with open(os.path.join(mime, "magic"), "rb") as f:
                magic = f.read()
            self.assertIn(b"[50:application/x-marquetor-tileset]\n>0=\x00\x060.50\r\n", magic)

    def test_manual_pages_format_without_warnings(self):
        if shutil.which("groff") is None:
            self.skipTest("groff is not installed")
        man = self.path(ARGS.mandir)
        for page in sorted(os.listdir(os.path.join(man, "man1"))):
            check = run("groff", "-man", "-ww", "-z", os.path.join("man1", page), cwd=man)
            self.assertEqual(check.returncode, 0, page + "\n" + check.stderr)
            self.assertEqual(check.stderr, "", page)
        # marquetor-open's page is the editor's page.
        text = run("groff", "-man", "-Tutf8", os.path.join("man1", "marquetor-open.1"), cwd=man).stdout
        self.assertIn("marquetor-open", text.replace("\u2010", "-"))

    def test_installed_programs_run_from_the_prefix(self):
        env = no_display_env()
        version = run(self.bin("marquetor"), "--version", env=env, cwd=tempfile.gettempdir())
        self.assertEqual((version.returncode, version.stdout), (0, "marquetor %s\n" % ARGS.version), version.stderr)
        helped = run(self.bin("marquetor"), "--help", env=env)
        self.assertEqual(helped.returncode, 0, helped.stderr)
        self.assertIn("Usage: marquetor", helped.stdout)
        helped = run(self.bin("mrqt"), "--help", env=env)
        self.assertEqual(helped.returncode, 0, helped.stderr)
        self.assertIn("Usage: mrqt", helped.stdout)
        demo = os.path.join(ARGS.source, "examples", "demo-game", "Data", "TileSets", "demo.mrqt")
        dumped = run(self.bin("mrqt"), "dump", demo, env=env)
        self.assertEqual(dumped.returncode, 0, dumped.stderr)
        self.assertGreater(len(json.loads(dumped.stdout)["tiles"]), 0)

    def test_installed_launcher_starts_the_installed_editor(self):
        # No display: the editor it starts says so and ends with status 1, which shows that
        # the launcher found the marquetor beside it (PATH holds no other).
        with tempfile.TemporaryDirectory(prefix="marquetor-game-") as game:
            os.makedirs(os.path.join(game, "Tools", "Marquetor"))
            level = os.path.join(game, "Data", "TileSets", "level one.mrqt")
            os.makedirs(os.path.dirname(level))
            with open(level, "wb") as f:
                f.write(b"0.50\r\n")
            env = no_display_env()
            env.pop("MARQUETOR_OPEN_EDITOR", None)
            started = run(self.bin("marquetor-open"), level, env=env)
            self.assertEqual(started.returncode, 1, started.stdout + started.stderr)
            self.assertIn("main window could not be opened", started.stderr)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--bindir", default="bin")
    parser.add_argument("--datadir", default="share")
    parser.add_argument("--mandir", default="share/man")
    ARGS, rest = parser.parse_known_args()
    ARGS.prefix, ARGS.source = os.path.abspath(ARGS.prefix), os.path.abspath(ARGS.source)
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
