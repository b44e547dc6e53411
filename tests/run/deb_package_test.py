"""The native braidel-run's Debian package as a user gets it: made by CPack in the linux build,
its contents and control fields read with dpkg-deb, checked by lintian, unpacked into a scratch
root (never installed on this machine) and run from there with no Wine to be found.

  deb_package_test.py BUILD_FOLDER
"""

import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import reference  # noqa: E402
from run_test import ROOT, random_frame, raw_frames, raw_stream  # noqa: E402
from testimages import from_rgba16, read_image, write_png  # noqa: E402

BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
PROGRAM = "usr/bin/braidel-run"
# Installed file, and the source it must hold byte for byte (gzipped where it ends in .gz).
FILES = {
    PROGRAM: None,
    "usr/share/man/man1/braidel-run.1.gz": "cli/braidel-run.1",
    "usr/share/doc/braidel-run/copyright": "cli/package/copyright",
    "usr/share/doc/braidel-run/changelog.gz": None,
}
# What the program's libraries come from: the C and C++ runtimes, libpng, libtiff, and zlib or
# the compiler's support library where the program calls them itself.
NEEDED_DEPENDS = {"libc6", "libstdc++6", "libpng16-16", "libtiff6"}
ALLOWED_DEPENDS = NEEDED_DEPENDS | {"zlib1g", "libgcc-s1"}
# Lintian warnings the package keeps, each with the reason it is right as it is. None now.
KEPT_WARNINGS = {}


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs)


def control_field(deb, name):
    return run(["dpkg-deb", "--field", deb, name]).stdout.strip()


class DebPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run(["cmake", "--build", BUILD, "--target", "package"], check=True,
                       capture_output=True)
        cls.deb = glob.glob(os.path.join(BUILD, "package", "braidel-run_*_amd64.deb"))[0]
        cls.root = tempfile.mkdtemp(prefix="braidel-deb-")
        run(["dpkg-deb", "-x", cls.deb, cls.root])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def installed(self, path):
        return os.path.join(self.root, path)

    def test_holds_the_program_its_manual_page_copyright_and_changelog_only(self):
        listing = run(["dpkg-deb", "--contents", self.deb]).stdout.splitlines()
        files = {line.split()[-1].removeprefix("./") for line in listing
                 if not line.startswith("d")}
        self.assertEqual(files, set(FILES))
        owners = {line.split()[1] for line in listing}
        self.assertEqual(owners, {"root/root"})
        self.assertEqual(os.stat(self.installed(PROGRAM)).st_mode & 0o7777, 0o755)

    def test_files_are_their_sources_compressed_without_name_or_time(self):
        for path, source in FILES.items():
            if path == PROGRAM:
                continue
            with self.subTest(path=path), open(self.installed(path), "rb") as f:
                data = f.read()
                if path.endswith(".gz"):
                    # Flags byte: no file name; modification time: none, so builds repeat.
                    self.assertEqual(data[3] & 0x08, 0)
                    self.assertEqual(data[4:8], b"\0\0\0\0")
                    data = gzip.decompress(data)
                if source:
                    with open(os.path.join(ROOT, source), "rb") as want:
                        self.assertEqual(data, want.read())

    def test_depends_on_debian_libraries_found_in_the_program(self):
        depends = {entry.split()[0] for entry in control_field(self.deb, "Depends").split(",")
                   if entry.strip()}
        self.assertLessEqual(NEEDED_DEPENDS, depends)
        self.assertLessEqual(depends, ALLOWED_DEPENDS)

    def test_program_is_a_stripped_linux_executable(self):
        header = run(["readelf", "--file-header", self.installed(PROGRAM)]).stdout
        self.assertRegex(header, r"Machine:\s+Advanced Micro Devices X86-64")
        table = run(["readelf", "--wide", "--sections", self.installed(PROGRAM)]).stdout
        sections = set(re.findall(r"^\s*\[\s*\d+\] (\S+)", table, re.MULTILINE))
        self.assertEqual({s for s in sections if s == ".symtab" or s.startswith(".debug")},
                         set())

    def test_lintian_finds_no_error_and_only_the_kept_warnings(self):
        result = subprocess.run(["lintian", "--allow-root", self.deb], capture_output=True,
                                text=True)
        lines = result.stdout.splitlines()
        self.assertEqual([line for line in lines if line.startswith("E:")], [], result.stdout)
        warnings = {line.split()[2] for line in lines if line.startswith("W:")}
        self.assertLessEqual(warnings, set(KEPT_WARNINGS), result.stdout)
        # Nothing is registered on installation: no maintainer scripts.
        control = run(["dpkg-deb", "--info", self.deb]).stdout
        for script in ("preinst", "postinst", "prerm", "postrm"):
            self.assertNotIn(script, control)

    # The unpacked program, run with a PATH that holds nothing (so no Wine and no helper can be
    # started) and no Wine settings, from a folder outside the build tree.
    def run_installed(self, *args, stdin=None):
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith(("WINE", "LD_"))}
        environment["PATH"] = os.path.join(self.root, "empty-path")
        os.makedirs(environment["PATH"], exist_ok=True)
        return subprocess.run([self.installed(PROGRAM), *args], input=stdin, cwd=self.root,
                              env=environment, capture_output=True, timeout=120)

    def test_version_is_the_package_version(self):
        result = self.run_installed("--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.decode().startswith(
            "braidel-run %s" % control_field(self.deb, "Version")), result.stdout)

    def test_filters_a_png_file_and_a_raw_stream(self):
        # (kernel, field, frames as a PNG file when None, else as a raw stream of that many)
        for kernel, field, stream_frames in (("weighted", 0, None), ("linear", 1, 3)):
            with self.subTest(kernel=kernel, stream=stream_frames):
                frames = [random_frame(7, 6, seed) for seed in range(stream_frames or 1)]
                options = ("--quiet", "--mode", kernel, "--field", ("even", "odd")[field])
                if stream_frames is None:
                    write_png(os.path.join(self.root, "in.png"), from_rgba16(frames[0]))
                    result = self.run_installed(*options, "in.png", "out.png")
                    self.assertEqual(result.returncode, 0, result.stderr)
                    got = [read_image(os.path.join(self.root, "out.png")).rgba16()]
                else:
                    result = self.run_installed(*options, "--raw", "7x6", "-", "-",
                                                stdin=raw_stream(frames))
                    self.assertEqual(result.returncode, 0, result.stderr)
                    got = raw_frames(result.stdout, 7, 6)
                self.assertEqual(got, [reference.rebuild(f, kernel, field) for f in frames])


if __name__ == "__main__":
    unittest.main()
