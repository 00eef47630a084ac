#!/usr/bin/env python3
"""The Debian packages: built with CPack from this build, installed on this machine with
apt-get, used from /usr (the installed programs, and the game example built against the
installed headers and library), then removed again, leaving the machine's packages as they
were.

    python3 package_test.py --build DIR --source DIR --version X.Y.Z --work DIR
                            [--packages DIR] [--cpack CPACK] [--cmake CMAKE] [--cxx COMPILER]

--packages: the .deb files made already (by the test that builds them for every test of
the packages); without it they are built here with CPack.

It changes the machine's own packages, which is for a CI machine and not for a user's: it
runs only when CI=true or MARQUETOR_TEST_SYSTEM_PACKAGES=1 is in the environment (.ci/run
sets the latter). Installing packages needs root: the test is skipped (exit status 77)
without one of those, when it runs as another user, when apt-get or dpkg is missing, and
when one of the packages, or any file they hold, is already on the machine (it never
replaces what it did not put there). One run at a time per machine: it holds a lock while
the packages are installed.
"""
import argparse
import fcntl
import glob
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import game_reader_test  # noqa: E402  (the example's build and its expected output)

SKIP = 77
ARGS = None


class Failure(Exception):
    pass


def run(command, **kwargs):
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("text", True)
    kwargs.setdefault("timeout", 600)
    return subprocess.run(list(command), **kwargs)


def check(command, **kwargs):
    result = run(command, **kwargs)
    if result.returncode != 0:
        raise Failure("%s failed (%d):\n%s%s" % (" ".join(command), result.returncode, result.stdout, result.stderr))
    return result


def expect(condition, message):
    if not condition:
        raise Failure(message)


def skip(reason):
    print("skipped: " + reason)
    sys.exit(SKIP)


def package_states():
    """Every package dpkg knows, with its version and state."""
    listed = check(["dpkg-query", "-W", "-f", "${binary:Package}\t${Version}\t${db:Status-Abbrev}\n"]).stdout
    return set(listed.splitlines())


def installed(package):
    state = run(["dpkg-query", "-W", "-f", "${db:Status-Abbrev}", package])
    return state.returncode == 0 and state.stdout.strip() not in ("", "un")


def apt(*args):
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    return check(["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=300", *args], env=env)


def build_packages():
    out = ARGS.packages
    if not out:
        out = os.path.join(ARGS.work, "packages")
        shutil.rmtree(out, ignore_errors=True)
        check([ARGS.cpack, "--config", os.path.join(ARGS.build, "CPackConfig.cmake"), "-B", out])
    debs = sorted(glob.glob(os.path.join(out, "*.deb")))
    return {check(["dpkg-deb", "-f", deb, "Package"]).stdout.strip(): deb for deb in debs}


def files_of(deb):
    """The files and links a package would put on the machine (not its folders)."""
    listing = check(["dpkg-deb", "--contents", deb]).stdout.splitlines()
    return [line.split()[5].lstrip(".") for line in listing if not line.startswith("d")]


def use_installed_packages(packages):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["PATH"] = "/usr/bin:/bin"
    for program in ("mrqt", "marquetor"):
        version = run(["/usr/bin/" + program, "--version"], env=env, cwd="/")
        expect((version.returncode, version.stdout) == (0, "%s %s\n" % (program, ARGS.version)),
               "installed %s --version: %r %r" % (program, version.stdout, version.stderr))
    expect(run(["desktop-file-validate", "/usr/share/applications/marquetor.desktop"]).returncode == 0,
           "the installed desktop entry does not validate")

    # What dpkg-shlibdeps found, and the library's place in the loader's cache.
    depends = {p: check(["dpkg-query", "-W", "-f", "${Depends}", p]).stdout for p in packages}
    runtime = "libmarquetor-tileset" + ".".join(ARGS.version.split(".")[:2])
    expect("libqt6widgets6" in depends["marquetor"], "marquetor depends on: " + depends["marquetor"])
    expect("libmarquetor" not in depends["marquetor"], "the programs need no library package")
    expect("libstdc++6" in depends[runtime], runtime + " depends on: " + depends[runtime])
    expect("%s (= %s)" % (runtime, ARGS.version) in depends["libmarquetor-dev"],
           "libmarquetor-dev depends on: " + depends["libmarquetor-dev"])
    expect("libmarquetor-tileset.so.%s " % ".".join(ARGS.version.split(".")[:2]) in check(["ldconfig", "-p"]).stdout,
           "the loader does not know the installed library")

    # A game built against /usr, both ways, reads the demo set as the installed mrqt does.
    demo = os.path.join(ARGS.source, "examples", "demo-game", "Data", "TileSets", "demo.mrqt")
    work = os.path.join(ARGS.work, "game")
    os.makedirs(work, exist_ok=True)
    expected = game_reader_test.expected_summary("/usr/bin/mrqt", demo, work)
    programs = [
        game_reader_test.build_with_cmake(ARGS.source, work, None, None, ARGS.cmake, ARGS.cxx),
        game_reader_test.build_with_pkg_config(ARGS.source, work, None, None, ARGS.cxx),
    ]
    for program in programs:
        printed = run([program, demo], cwd="/")
        expect(printed.returncode == 0 and printed.stdout == expected,
               "%s printed:\n%s%s" % (program, printed.stdout, printed.stderr))
        expect("libmarquetor-tileset.so." in check(["readelf", "-d", program]).stdout, program + " is not linked shared")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--packages")
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cxx")
    ARGS = parser.parse_args()
    for name in ("build", "source", "work"):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))

    if os.environ.get("CI") != "true" and os.environ.get("MARQUETOR_TEST_SYSTEM_PACKAGES") != "1":
        skip("it installs and removes packages on this machine: only with CI=true or MARQUETOR_TEST_SYSTEM_PACKAGES=1")
    if os.geteuid() != 0:
        skip("installing the packages needs root (CI runs as root)")
    for tool in ("apt-get", "dpkg", "dpkg-query", "dpkg-deb"):
        if shutil.which(tool) is None:
            skip(tool + " is not installed: not a Debian system")
    os.makedirs(ARGS.work, exist_ok=True)

    packages = build_packages()
    expect(sorted(packages) == sorted(["marquetor", "libmarquetor-dev",
                                       "libmarquetor-tileset" + ".".join(ARGS.version.split(".")[:2])]),
           "cpack built: %s" % sorted(packages))

    lock_dir = "/run/lock" if os.path.isdir("/run/lock") else "/tmp"
    with open(os.path.join(lock_dir, "marquetor-package-test.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for package, deb in packages.items():
            if installed(package):
                skip("%s is installed already; it is left alone" % package)
            for path in files_of(deb):
                if os.path.lexists(path):
                    skip("%s is on this machine already (from %s); it is left alone" % (path, package))

        before = package_states()
        failure = None
        try:
            apt("install", "--no-install-recommends", *sorted(packages.values()))
            use_installed_packages(packages)
        except Exception as e:   # the packages go again whatever went wrong
            failure = "%s: %s" % (type(e).__name__, e)
        finally:
            ours = [p for p in sorted(packages) if installed(p)]
            if ours:
                apt("purge", *ours)
        after = package_states()
        left = [path for deb in packages.values() for path in files_of(deb) if os.path.lexists(path)]

    if failure:
        print(failure)
        return 1
    if after != before:
        print("the machine's packages changed:\n  gone: %s\n  new: %s" % (sorted(before - after), sorted(after - before)))
        return 1
    if left:
        print("left behind: %s" % left)
        return 1
    print("installed %s, used them from /usr and removed them again" % ", ".join(sorted(packages)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
