#!/usr/bin/env python3
"""marquetor-open on real folders: which working directory and which argument the editor
gets. The editor is a small recorder script that writes both down and ends.

    python3 launcher_test.py PATH/TO/marquetor-open
"""
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

LAUNCHER = None

RECORDER = """#!/bin/sh
{ pwd; for a in "$@"; do printf '%s\\n' "$a"; done; } > "$MARQUETOR_TEST_RECORD"
"""


def write(path, text=b""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text)


def make_executable(path, text):
    write(path, text.encode())
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


class Launcher(unittest.TestCase):
    def setUp(self):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="marquetor-open-"))
        self.record = os.path.join(self.root, "record.txt")
        self.recorder = os.path.join(self.root, "recorder", "editor")
        make_executable(self.recorder, RECORDER)

        # A game with its tool folder, and one without.
        self.game = os.path.join(self.root, "My Game")
        self.level = os.path.join(self.game, "Data", "TileSets", "first level.mrqt")
        write(self.level, b"0.50\r\n")
        self.tools = os.path.join(self.game, "Tools", "Marquetor")
        os.makedirs(os.path.join(self.tools, "TileSets", "Textures"))
        self.loose = os.path.join(self.root, "no tools", "Data", "TileSets", "loose.mrqt")
        write(self.loose)
        self.other = os.path.join(self.root, "sets and more", "-odd name.mrqt")
        write(self.other)

    def tearDown(self):
        shutil.rmtree(self.root)

    def launch(self, *args, cwd=None, editor=True, launcher=None):
        env = dict(os.environ, MARQUETOR_TEST_RECORD=self.record)
        env.pop("MARQUETOR_OPEN_EDITOR", None)
        if editor:
            env["MARQUETOR_OPEN_EDITOR"] = self.recorder
        if os.path.exists(self.record):
            os.remove(self.record)
        return subprocess.run([launcher or LAUNCHER, *args], cwd=cwd or self.root, env=env,
                              capture_output=True, text=True, timeout=30)

    def recorded(self):
        """The editor's working directory and its arguments."""
        self.assertTrue(os.path.exists(self.record), "the editor was not started")
        with open(self.record) as f:
            lines = f.read().split("\n")[:-1]
        return os.path.realpath(lines[0]), lines[1:]

    def assertStarted(self, run, workdir, file):
        self.assertEqual(run.returncode, 0, run.stderr)
        cwd, args = self.recorded()
        self.assertEqual(cwd, os.path.realpath(workdir))
        self.assertEqual(len(args), 1, args)
        self.assertTrue(os.path.isabs(args[0]), args)
        self.assertTrue(os.path.samefile(args[0], file), args)

    def test_a_file_of_a_game_opens_in_the_games_tool_folder(self):
        self.assertStarted(self.launch(self.level), self.tools, self.level)
        # From there the editor's own relative folders reach the game's.
        cwd, args = self.recorded()
        self.assertTrue(os.path.exists(os.path.join(cwd, "../../Data/TileSets/first level.mrqt")))
        self.assertTrue(os.path.isdir(os.path.join(cwd, "TileSets/Textures")))

        # The same for a relative name, one with "." and ".." in it, and from inside the folder.
        self.assertStarted(self.launch("Data/TileSets/first level.mrqt", cwd=self.game), self.tools, self.level)
        self.assertStarted(self.launch("My Game/Tools/../Data/./TileSets/first level.mrqt"), self.tools, self.level)
        self.assertStarted(self.launch("first level.mrqt", cwd=os.path.dirname(self.level)), self.tools, self.level)

    def test_any_other_file_opens_in_its_own_folder(self):
        # Data/TileSets/ without Tools/Marquetor/ beside it.
        self.assertStarted(self.launch(self.loose), os.path.dirname(self.loose), self.loose)
        # A folder of a game below Data/TileSets/ is not the game's tile set folder.
        deeper = os.path.join(self.game, "Data", "TileSets", "old", "x.mrqt")
        write(deeper)
        self.assertStarted(self.launch(deeper), os.path.dirname(deeper), deeper)
        # Blanks, and a name that starts with "-": handed on whole, never as an option.
        run = self.launch(os.path.relpath(self.other, self.root))
        self.assertStarted(run, os.path.dirname(self.other), self.other)
        self.assertTrue(self.recorded()[1][0].startswith("/"))
        run = self.launch("-odd name.mrqt", cwd=os.path.dirname(self.other))
        self.assertStarted(run, os.path.dirname(self.other), self.other)
        # A file that does not exist yet still starts the editor there.
        missing = os.path.join(os.path.dirname(self.loose), "new.mrqt")
        self.assertEqual(self.launch(missing).returncode, 0)
        self.assertEqual(self.recorded(), (os.path.dirname(self.loose), [missing]))

    def test_without_a_file_the_editor_starts_in_the_current_folder(self):
        run = self.launch(cwd=self.game)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.recorded(), (self.game, []))

    def test_wrong_use_starts_nothing(self):
        run = self.launch(os.path.join(self.root, "nowhere", "x.mrqt"))
        self.assertEqual(run.returncode, 1)
        self.assertIn("no folder", run.stderr)
        self.assertEqual(self.launch("a.mrqt", "b.mrqt").returncode, 2)
        self.assertEqual(self.launch(self.game).returncode, 2)
        self.assertFalse(os.path.exists(self.record))
        run = self.launch("--help")
        self.assertEqual(run.returncode, 0)
        self.assertIn("Usage: marquetor-open", run.stdout)
        self.assertFalse(os.path.exists(self.record))

    def test_the_editor_is_the_one_installed_beside_the_launcher(self):
        bin_dir = os.path.join(self.root, "prefix", "bin")
        launcher = os.path.join(bin_dir, "marquetor-open")
        os.makedirs(bin_dir)
        shutil.copy(LAUNCHER, launcher)
        make_executable(os.path.join(bin_dir, "marquetor"), RECORDER)
        self.assertStarted(self.launch(self.level, editor=False, launcher=launcher), self.tools, self.level)
        # Also when the launcher is reached through a link from another folder.
        link = os.path.join(self.root, "links", "marquetor-open")
        os.makedirs(os.path.dirname(link))
        os.symlink(launcher, link)
        self.assertStarted(self.launch(self.loose, editor=False, launcher=link), os.path.dirname(self.loose),
                           self.loose)


if __name__ == "__main__":
    LAUNCHER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
