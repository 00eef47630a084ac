#!/usr/bin/env python3
"""examples/game-reader built the way a game is built, against an installed Marquetor: once
through its CMake package, once through pkg-config. Both programs must print what
`mrqt dump` says the tile sets hold.

    python3 game_reader_test.py --source DIR --work DIR --mrqt PROGRAM
                                [--prefix DIR --libdir lib/<arch>] [--static | --static-build DIR]
                                [--cmake CMAKE] [--cxx COMPILER]

Without --prefix the installed system files are used (no CMAKE_PREFIX_PATH, no
PKG_CONFIG_PATH). --static says that the installed library is the static archive;
--static-build first builds the source as a static library in DIR and installs it into
--prefix, so that the game links the archive.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import unittest

ARGS = None


def run(command, **kwargs):
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("timeout", 600)
    result = subprocess.run(list(command), **kwargs)
    return result


def check(command, **kwargs):
    result = run(command, **kwargs)
    if result.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s\n%s" % (
            " ".join(command), result.returncode, decode(result.stdout), decode(result.stderr)))
    return result


def decode(data):
    return data.decode("utf-8", "replace") if isinstance(data, bytes) else (data or "")


def game_env(prefix, libdir):
    """The environment a game's build sees: the installed Marquetor and nothing of this
    build tree."""
    env = {k: v for k, v in os.environ.items() if k not in ("CMAKE_PREFIX_PATH", "PKG_CONFIG_PATH")}
    if prefix:
        env["PKG_CONFIG_PATH"] = os.path.join(prefix, libdir, "pkgconfig")
    return env


def build_with_cmake(source, work, prefix, libdir, cmake="cmake", cxx=None):
    """Configures and builds examples/game-reader in work/cmake; returns the program."""
    build = os.path.join(work, "cmake")
    shutil.rmtree(build, ignore_errors=True)
    configure = [cmake, "-S", os.path.join(source, "examples", "game-reader"), "-B", build, "-G", "Ninja"]
    if prefix:
        configure.append("-DCMAKE_PREFIX_PATH=" + prefix)
    if cxx:
        configure.append("-DCMAKE_CXX_COMPILER=" + cxx)
    env = game_env(prefix, libdir)
    check(configure, env=env)
    check([cmake, "--build", build], env=env)
    return os.path.join(build, "game-reader")


def build_with_pkg_config(source, work, prefix, libdir, cxx=None):
    """Builds examples/game-reader with its Makefile (pkg-config) in work/pkg-config."""
    build = os.path.join(work, "pkg-config")
    shutil.rmtree(build, ignore_errors=True)
    os.makedirs(build)
    command = ["make", "-f", os.path.join(source, "examples", "game-reader", "Makefile")]
    if cxx:
        command.append("CXX=" + cxx)
    check(command, cwd=build, env=game_env(prefix, libdir))
    return os.path.join(build, "game-reader")


def expected_summary(mrqt, tileset, work, ids=None):
    """What game-reader prints for a tile set, made from `mrqt dump` and the bytes
    `mrqt extract` writes."""
    dump = json.loads(decode(check([mrqt, "dump", tileset]).stdout))
    textures = os.path.join(work, "extracted")
    shutil.rmtree(textures, ignore_errors=True)
    run([mrqt, "extract", tileset, textures])
    lines = ["tile size %d x %d" % (dump["tileWidth"], dump["tileHeight"]),
             "%d materials" % len(dump["materials"])]
    for m in dump["materials"]:
        lines.append('  %s: red %d, green %d, blue %d, "%s"' % (
            m["name"], m["red"], m["green"], m["blue"], m["description"]))
    lines.append("%d textures" % len(dump["textures"]))
    for t in dump["textures"]:
        with open(os.path.join(textures, t["name"]), "rb") as f:
            head = f.read(4)
        line = "  %s: %d bytes" % (t["name"], t["size"])
        if head:
            line += ", " + " ".join("%02x" % b for b in head)
        lines.append(line)
    texture_names = {t["name"] for t in dump["textures"]}
    material_names = {m["name"] for m in dump["materials"]}
    lines.append("%d tiles" % len(dump["tiles"]))
    by_id = {t["id"]: t for t in dump["tiles"]}
    for wanted in ([t["id"] for t in dump["tiles"]] if ids is None else ids):
        tile = by_id.get(wanted)
        if tile is None:
            lines.append("  %d: not in the tile set" % wanted)
            continue
        lines.append("  %d: %s%s, %s%s, layer %d, collision %d" % (
            tile["id"], tile["texture"], "" if tile["texture"] in texture_names else " (missing)",
            tile["material"], "" if tile["material"] in material_names else " (missing)",
            tile["layer"], tile["collision"]))
    return "\n".join(lines) + "\n"


def build_static_library(source, build, prefix, libdir, cmake="cmake", cxx=None):
    """The library alone as a static archive (BUILD_SHARED_LIBS=OFF), installed into prefix
    with the development component only: what a game that links statically gets. It goes
    into the same library folder as the build that runs the test (a build folder made before
    the multiarch default keeps "lib")."""
    configure = [cmake, "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                 "-DBUILD_SHARED_LIBS=OFF", "-DMARQUETOR_GUI=OFF", "-DMARQUETOR_TESTS=OFF",
                 "-DCMAKE_INSTALL_LIBDIR=" + libdir]
    if cxx:
        configure.append("-DCMAKE_CXX_COMPILER=" + cxx)
    check(configure)
    check([cmake, "--build", build, "--target", "marquetor_tileset"])
    shutil.rmtree(prefix, ignore_errors=True)
    check([cmake, "--install", build, "--prefix", prefix, "--component", "libmarquetor-dev"])


class GameReader(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(ARGS.work, exist_ok=True)
        if ARGS.static_build:
            build_static_library(ARGS.source, ARGS.static_build, ARGS.prefix, ARGS.libdir, ARGS.cmake, ARGS.cxx)
        cls.programs = {
            "cmake": build_with_cmake(ARGS.source, ARGS.work, ARGS.prefix, ARGS.libdir, ARGS.cmake, ARGS.cxx),
            "pkg-config": build_with_pkg_config(ARGS.source, ARGS.work, ARGS.prefix, ARGS.libdir, ARGS.cxx),
        }
        cls.demo = os.path.join(ARGS.source, "examples", "demo-game", "Data", "TileSets", "demo.mrqt")

    def read(self, program, *args, **kwargs):
        # Run from elsewhere, with nothing on the loader's path: the program finds the library
        # the way an installed game does.
        env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
        return run([program, *args], env=env, cwd="/", **kwargs)

    def test_links_the_library_as_installed(self):
        for route, program in self.programs.items():
            needed = decode(check(["readelf", "-d", program]).stdout)
            if ARGS.static:
                self.assertNotIn("libmarquetor-tileset", needed, route)
            else:
                self.assertIn("[libmarquetor-tileset.so.", needed, route)

    def test_prints_what_mrqt_dump_reads_from_the_demo_set(self):
        expected = expected_summary(ARGS.mrqt, self.demo, ARGS.work)
        self.assertGreater(expected.count("\n"), 50)
        for route, program in self.programs.items():
            with self.subTest(route=route):
                printed = self.read(program, self.demo)
                self.assertEqual(printed.returncode, 0, decode(printed.stderr))
                self.assertEqual(decode(printed.stderr), "")
                self.assertEqual(decode(printed.stdout), expected)
                # The same bytes loaded from memory.
                with open(self.demo, "rb") as f:
                    piped = self.read(program, "-", stdin=f)
                self.assertEqual(decode(piped.stdout), expected)

    def test_looks_tiles_up_by_id(self):
        ids = [12, 1, 99999, -3]
        expected = expected_summary(ARGS.mrqt, self.demo, ARGS.work, ids)
        self.assertIn("  99999: not in the tile set\n", expected)
        for route, program in self.programs.items():
            with self.subTest(route=route):
                printed = self.read(program, self.demo, *map(str, ids))
                self.assertEqual(printed.returncode, 0, decode(printed.stderr))
                self.assertEqual(decode(printed.stdout), expected)

    def test_names_a_set_does_not_hold_and_short_textures(self):
        # A set written by mrqt build: a tile naming a texture and a material the set does
        # not hold, texts beyond ASCII, a texture of no bytes and one of three.
        work = os.path.join(ARGS.work, "made")
        shutil.rmtree(work, ignore_errors=True)
        textures = os.path.join(work, "textures")
        os.makedirs(textures)
        with open(os.path.join(textures, "empty.tga"), "wb"):
            pass
        with open(os.path.join(textures, "three.png"), "wb") as f:
            f.write(b"\x89PN")
        source = {
            "tileWidth": -16, "tileHeight": 8,
            "materials": [{"name": "K\u00e4se", "red": 250, "green": 200, "blue": 1, "description": "gelb \u20ac"}],
            "textures": [{"name": "empty.tga"}, {"name": "three.png"}],
            "tiles": [
                {"id": -5, "texture": "nothere.png", "material": "Nope", "layer": 300, "collision": -2},
                {"id": 7, "texture": "three.png", "material": "K\u00e4se"},
            ],
        }
        with open(os.path.join(work, "set.json"), "w", encoding="utf-8") as f:
            json.dump(source, f)
        tileset = os.path.join(work, "made.mrqt")
        check([ARGS.mrqt, "build", os.path.join(work, "set.json"), textures, tileset])
        expected = expected_summary(ARGS.mrqt, tileset, work)
        self.assertIn("  -5: nothere.png (missing), Nope (missing), layer 300, collision -2\n", expected)
        self.assertIn("  three.png: 3 bytes, 89 50 4e\n", expected)
        for route, program in self.programs.items():
            with self.subTest(route=route):
                printed = self.read(program, tileset)
                self.assertEqual(printed.returncode, 0, decode(printed.stderr))
                self.assertEqual(decode(printed.stdout), expected)

    def test_reports_the_load_status(self):
        work = os.path.join(ARGS.work, "broken")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        with open(self.demo, "rb") as f:
            whole = f.read()
        # Cut inside the textures: what was read is kept, with a warning.
        cut = os.path.join(work, "cut.mrqt")
        with open(cut, "wb") as f:
            f.write(whole[: len(whole) * 2 // 3])
        expected = expected_summary(ARGS.mrqt, cut, work)
        not_a_set = os.path.join(work, "notes.mrqt")
        with open(not_a_set, "wb") as f:
            f.write(b"0.49\r\n" + whole[6:])
        for route, program in self.programs.items():
            with self.subTest(route=route):
                printed = self.read(program, cut)
                self.assertEqual(printed.returncode, 0, decode(printed.stderr))
                self.assertEqual(decode(printed.stdout), expected)
                self.assertTrue(decode(printed.stderr).startswith("game-reader: warning: "), decode(printed.stderr))
                for broken in (not_a_set, os.path.join(work, "absent.mrqt")):
                    refused = self.read(program, broken)
                    self.assertEqual(refused.returncode, 1, broken)
                    self.assertEqual(decode(refused.stdout), "")
                    self.assertTrue(decode(refused.stderr).startswith("game-reader: "), decode(refused.stderr))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--mrqt", required=True)
    parser.add_argument("--prefix")
    parser.add_argument("--libdir", default="lib")
    parser.add_argument("--static", action="store_true")
    parser.add_argument("--static-build")
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cxx")
    ARGS, rest = parser.parse_known_args()
    ARGS.static = ARGS.static or bool(ARGS.static_build)
    for name in ("source", "work", "prefix", "static_build"):
        if getattr(ARGS, name):
            setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
