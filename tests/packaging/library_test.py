#!/usr/bin/env python3
"""The library for games as `cmake --install` put it into a prefix: headers that compile on
their own, a shared object that shows only its interface, and the CMake and pkg-config
files that find it (InstalledHeaders, InstalledLibrary); and the README's example and
recipes for a game, followed word for word with the prefix as ~/.local (ReadmeRecipes).

    python3 library_test.py --prefix DIR --source DIR --version X.Y.Z --libdir lib/<arch>
                            [--static] [--cmake CMAKE] [--cxx COMPILER] [CLASS...]

--static: the build made the static archive (BUILD_SHARED_LIBS=OFF) instead.
ReadmeRecipes needs a prefix named .local: its parent folder is the home folder the
recipes run in.
"""
import argparse
import concurrent.futures
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

ARGS = None

# What the headers must never bring into a game: the tile pool, undo's access to the
# document, the editor's number texts, the format's line-end scanner.
INTERNAL_HEADERS = ("pool.h", "restore.h", "text.h", "lineend.h")
# A game links the library and the C++ runtime, nothing else.
ALLOWED_NEEDED = {"libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6"}


def run(command, **kwargs):
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("text", True)
    kwargs.setdefault("timeout", 300)
    return subprocess.run(list(command), **kwargs)


class PrefixFiles:
    """Where the library's files are in the prefix, and a compiler run against them."""

    def setUp(self):
        self.include = os.path.join(ARGS.prefix, "include")
        self.libdir = os.path.join(ARGS.prefix, ARGS.libdir)
        major, minor = ARGS.version.split(".")[:2]
        self.soname = "libmarquetor-tileset.so.%s.%s" % (major, minor)

    def compile(self, source, *extra, libs=()):
        with tempfile.TemporaryDirectory(prefix="marquetor-header-") as tmp:
            path = os.path.join(tmp, "use.cpp")
            with open(path, "w") as f:
                f.write(source)
            return run([ARGS.cxx, "-std=c++20", "-Wall", "-Wextra", "-Wpedantic", "-Werror",
                        "-I" + self.include, *extra, path, *libs], cwd=tmp)

    def installed_headers(self):
        root = os.path.join(self.include, "marquetor")
        found = []
        for folder, _, files in os.walk(root):
            found += [os.path.relpath(os.path.join(folder, f), self.include) for f in files]
        return sorted(found)


class InstalledHeaders(PrefixFiles, unittest.TestCase):
    def test_every_installed_header_compiles_on_its_own(self):
        headers = self.installed_headers()
        self.assertIn("marquetor/tileset.h", headers)
        self.assertIn("marquetor/tilesetfile/format.h", headers)
        # One compiler for each header, as many at a time as there are processors.
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            compiled = list(pool.map(lambda h: self.compile("#include <%s>\n" % h, "-fsyntax-only"), headers))
        for header, result in zip(headers, compiled):
            with self.subTest(header=header):
                self.assertFalse(os.path.basename(header) in INTERNAL_HEADERS, header)
                self.assertEqual(result.returncode, 0, result.stderr)

    def test_the_games_header_pulls_in_no_internal_header(self):
        # The headers the one include a game needs brings along, from the compiler itself.
        deps = self.compile("#include <marquetor/tileset.h>\n", "-M", "-MF", "/dev/stdout")
        self.assertEqual(deps.returncode, 0, deps.stderr)
        pulled = [os.path.normpath(p) for p in deps.stdout.replace("\\\n", " ").split()[1:]]
        ours = sorted(os.path.relpath(p, self.include) for p in pulled
                      if p.startswith(os.path.join(self.include, "marquetor") + os.sep))
        self.assertEqual(ours, self.installed_headers())
        for path in pulled:
            self.assertNotIn(os.path.basename(path), INTERNAL_HEADERS, path)


class InstalledLibrary(PrefixFiles, unittest.TestCase):
    def test_shared_object_has_its_soname_and_shows_only_its_interface(self):
        library = os.path.join(self.libdir, "libmarquetor-tileset.so")
        if ARGS.static:
            self.assertFalse(os.path.lexists(library))
            self.assertTrue(os.path.isfile(os.path.join(self.libdir, "libmarquetor-tileset.a")))
            self.skipTest("the library is built static")
        self.assertEqual(os.readlink(library), self.soname)
        self.assertEqual(os.readlink(os.path.join(self.libdir, self.soname)), "libmarquetor-tileset.so." + ARGS.version)
        dynamic = run(["readelf", "-d", library]).stdout
        self.assertIn("Library soname: [%s]" % self.soname, dynamic)
        needed = set(re.findall(r"Shared library: \[([^\]]+)\]", dynamic))
        self.assertTrue(needed <= ALLOWED_NEEDED, needed - ALLOWED_NEEDED)

        symbols = run(["nm", "-D", "--defined-only", "-C", library]).stdout.splitlines()
        names = [line.split(" ", 2)[2] for line in symbols if line.count(" ") >= 2]
        self.assertGreater(len(names), 30)
        outside = [n for n in names if not n.startswith("marquetor::")]
        self.assertEqual(outside, [], "symbols outside namespace marquetor")
        exported = "\n".join(names)
        for public in ("marquetor::tilesetfile::LoadTileSet(", "marquetor::tilesetfile::LoadTileSetFromMemory(",
                       "marquetor::tilesetfile::SaveTileSet(", "marquetor::document::FindMaterial(",
                       "marquetor::document::FindTexture(", "marquetor::document::LookUpTileGroup(",
                       "marquetor::document::TileIndex::grow(", "marquetor::document::SharedText::destroy("):
            self.assertIn(public, exported)
        for internal in ("::pool::", "TakeMaterial(", "SwapContent(", "TextToNumber(", "BytesToUtf8(",
                         "findLineEnd"):
            self.assertNotIn(internal, exported)

    def test_pkg_config_finds_it(self):
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(self.libdir, "pkgconfig"))
        flags = run(["pkg-config", "--cflags", "--libs", "marquetor-tileset"], env=env)
        self.assertEqual(flags.returncode, 0, flags.stderr)
        self.assertEqual(flags.stdout.split(), ["-I" + self.include, "-L" + self.libdir, "-lmarquetor-tileset"])
        version = run(["pkg-config", "--modversion", "marquetor-tileset"], env=env)
        self.assertEqual(version.stdout.strip(), ARGS.version)

    def test_cmake_package_takes_the_versions_it_is_compatible_with(self):
        major, minor = (int(n) for n in ARGS.version.split(".")[:2])
        cases = [("%d.%d" % (major, minor), True), ("%d" % major, major > 0),
                 ("%d.%d" % (major, minor + 1), False), ("%d.0" % (major + 1), False)]

        def configure(requested):
            with tempfile.TemporaryDirectory(prefix="marquetor-find-") as tmp:
                with open(os.path.join(tmp, "CMakeLists.txt"), "w") as f:
                    # A C++ project: CMake looks in lib/<arch>/ once it knows the compiler's.
                    f.write("cmake_minimum_required(VERSION 3.25)\nproject(probe LANGUAGES CXX)\n"
                            "find_package(Marquetor %s)\n"
                            "if(TARGET Marquetor::TileSet)\n  message(STATUS \"target found\")\nendif()\n" % requested)
                return run([ARGS.cmake, "-S", tmp, "-B", os.path.join(tmp, "build"),
                            "-DCMAKE_PREFIX_PATH=" + ARGS.prefix, "-DCMAKE_CXX_COMPILER=" + ARGS.cxx])

        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            configured = list(pool.map(configure, [requested for requested, _ in cases]))
        for (requested, found), result in zip(cases, configured):
            with self.subTest(requested=requested):
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual("target found" in result.stdout, found, result.stdout + result.stderr)


def readme_library_blocks():
    """The fenced blocks of the README's library section, as (language, text)."""
    with open(os.path.join(ARGS.source, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    start = readme.index("\n## The library for games\n")
    end = readme.index("\n## ", start + 1)
    return re.findall(r"^```(\w+)\n(.*?)^```$", readme[start:end], re.S | re.M)


class ReadmeRecipes(unittest.TestCase):
    """A new user's way through the README's library section: Marquetor installed below
    ~/.local, the README's game.cpp and CMakeLists.txt in a folder, and each recipe's
    commands run there as written, by a shell that knows nothing of this build (no
    PKG_CONFIG_PATH, CMAKE_PREFIX_PATH or LD_LIBRARY_PATH). The game must start from the
    prefix and print what `mrqt dump` reads from the same file. CMake builds it with every
    warning as an error (CXXFLAGS): the README's example compiles cleanly against the
    installed headers."""

    def test_both_recipes_build_a_game_that_runs_from_the_prefix(self):
        blocks = readme_library_blocks()
        self.assertEqual([language for language, _ in blocks], ["sh", "cpp", "cmake", "sh", "sh"])
        install, game, cmakelists, with_cmake, with_pkg_config = (text for _, text in blocks)
        # The prefix the tests installed into is the README's: `cmake --install build` of
        # this build, below the home folder's .local.
        self.assertEqual(install, "cmake --install build --prefix ~/.local\n")
        self.assertEqual(os.path.basename(ARGS.prefix), ".local")
        self.assertIn("cmake_minimum_required(", cmakelists)
        self.assertIn("project(", cmakelists)

        demo = os.path.join(ARGS.source, "examples", "demo-game", "Data", "TileSets", "demo.mrqt")
        dump = json.loads(run([os.path.join(ARGS.prefix, "bin", "mrqt"), "dump", demo]).stdout)
        materials = ["material %s: red %d, green %d, blue %d" % (m["name"], m["red"], m["green"], m["blue"])
                     for m in dump["materials"]]
        textures = sorted("texture %s: %d bytes" % (t["name"], t["size"]) for t in dump["textures"])
        tiles = ["tile %d: %s, %s" % (t["id"], t["texture"], t["material"]) for t in dump["tiles"]]
        self.assertTrue(any("red 0," not in m for m in materials), materials)

        env = {k: v for k, v in os.environ.items()
               if k not in ("PKG_CONFIG_PATH", "CMAKE_PREFIX_PATH", "LD_LIBRARY_PATH", "CMAKE_GENERATOR")}
        env["HOME"] = os.path.dirname(ARGS.prefix)
        for name, recipe in (("cmake", with_cmake), ("pkg-config", with_pkg_config)):
            with self.subTest(recipe=name), tempfile.TemporaryDirectory(prefix="marquetor-game-") as folder:
                with open(os.path.join(folder, "game.cpp"), "w", encoding="utf-8") as f:
                    f.write(game)
                with open(os.path.join(folder, "CMakeLists.txt"), "w", encoding="utf-8") as f:
                    f.write(cmakelists)
                with open(demo, "rb") as source, open(os.path.join(folder, "level.mrqt"), "wb") as copy:
                    copy.write(source.read())
                ran = run(["bash", "-e", "-c", recipe], cwd=folder,
                          env=dict(env, CXXFLAGS="-Wall -Wextra -Wpedantic -Werror"))
                self.assertEqual(ran.returncode, 0, ran.stdout + ran.stderr)
                # The game's lines are the last ones: the recipe ends by running it.
                printed = ran.stdout.splitlines()[-(len(materials) + len(textures) + len(tiles)):]
                self.assertEqual(printed[:len(materials)], materials)
                self.assertEqual(sorted(printed[len(materials):len(materials) + len(textures)]), textures)
                self.assertEqual(printed[len(materials) + len(textures):], tiles)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--libdir", required=True)
    parser.add_argument("--static", action="store_true")
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cxx", default="c++")
    ARGS, rest = parser.parse_known_args()
    ARGS.prefix, ARGS.source = os.path.abspath(ARGS.prefix), os.path.abspath(ARGS.source)
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
