"""The Windows package as a user gets it: the zip made by the package target, unpacked into an
empty folder outside the build tree and run there under a fresh Wine prefix, with nothing else
of the build present.

  package_test.py BUILD_FOLDER
"""

import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import reference  # noqa: E402
import run_test  # noqa: E402
from testimages import from_rgba16, read_image, write_png  # noqa: E402

BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
WINE_EXEC = os.path.join(run_test.ROOT, "scripts", "wine-exec")
CONTENTS = {"braidel-run.exe", "hostsdk.dll", "Braidel.flt", "README.txt",
            "licences/libpng.txt", "licences/libtiff.txt", "licences/zlib.txt",
            "licences/mingw-w64-runtime.txt", "licences/gcc-runtime.txt",
            "frei0r/braidel.dll", "frei0r/kdenlive/frei0r_braidel.xml",
            "frei0r/shotcut/braidel/meta.qml", "frei0r/shotcut/braidel/ui.qml"}
FREI0R_ENTRY_POINTS = {"f0r_init", "f0r_deinit", "f0r_get_plugin_info", "f0r_get_param_info",
                       "f0r_construct", "f0r_destruct", "f0r_set_param_value",
                       "f0r_get_param_value", "f0r_update"}


def pe_table(path):
    """The names a PE file exports, and the names it imports from each DLL (lower-case)."""
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], check=True,
                          capture_output=True, text=True).stdout
    exports, imports, dll, in_exports = set(), {}, None, False
    for line in dump.splitlines():
        if "[Ordinal/Name Pointer] Table" in line:
            in_exports, dll = True, None
        elif (match := re.match(r"\s*DLL Name: (\S+)", line)):
            in_exports, dll = False, match[1].lower()
            imports[dll] = set()
        elif in_exports and (match := re.match(r"\s*\[\s*\d+\] (\S+)", line)):
            exports.add(match[1])
        elif dll and (match := re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)", line)):
            imports[dll].add(match[1])
        elif not line.strip():
            in_exports, dll = False, None
    return exports, imports


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run(["cmake", "--build", BUILD, "--target", "package"], check=True,
                       capture_output=True)
        cls.zip = glob.glob(os.path.join(BUILD, "package", "Braidel-*-win64.zip"))[0]
        cls.dir = tempfile.mkdtemp(prefix="braidel-package-")
        cls.prefix = os.path.join(cls.dir, "wine")
        with zipfile.ZipFile(cls.zip) as archive:
            archive.extractall(os.path.join(cls.dir, "unpacked"))
        top = os.listdir(os.path.join(cls.dir, "unpacked"))
        cls.top = os.path.join(cls.dir, "unpacked", top[0])
        # The fresh prefix made and its session started once, as the test run does for its own:
        # the first program in a new prefix otherwise races Wine's own start.
        subprocess.run([WINE_EXEC, cls.prefix, "--start-server"], timeout=300,
                       stdin=subprocess.DEVNULL, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINE_EXEC, cls.prefix, "--stop-server"], capture_output=True)
        shutil.rmtree(cls.dir, ignore_errors=True)

    def run_unpacked(self, *args, cwd=None):
        return subprocess.run([WINE_EXEC, self.prefix, os.path.join(self.top, "braidel-run.exe"),
                               *args], cwd=cwd or self.dir, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=300)

    def test_holds_exactly_the_program_its_libraries_and_licences(self):
        files = set()
        for base, _, names in os.walk(self.top):
            files |= {os.path.relpath(os.path.join(base, n), self.top) for n in names}
        self.assertEqual(files, CONTENTS)
        self.assertTrue(os.path.basename(self.zip).startswith("Braidel-"))

    def test_sdk_exports_what_the_plug_in_imports_and_no_test_hook(self):
        # Call records, failure injection and the instrumented bitmap live in namespace hostsdk,
        # in the test variant of the SDK only; the shipped one exports the host's declarations.
        exports, _ = pe_table(os.path.join(self.top, "hostsdk.dll"))
        _, imports = pe_table(os.path.join(self.top, "Braidel.flt"))
        self.assertLessEqual(imports["hostsdk.dll"], exports)
        self.assertEqual(sorted(name for name in exports if "7hostsdk" in name), [])
        instrumented, _ = pe_table(os.path.join(BUILD, "test-bin", "hostsdk.dll"))
        self.assertIn("_ZN7hostsdk15RecordLerpCallsEb", instrumented)

    def test_frei0r_module_exports_its_entry_points_and_needs_no_runtime_dll(self):
        exports, imports = pe_table(os.path.join(self.top, "frei0r", "braidel.dll"))
        self.assertEqual(exports, FREI0R_ENTRY_POINTS)
        self.assertLessEqual(set(imports), {"kernel32.dll", "msvcrt.dll"})

    def test_readme_names_the_library_sources_that_version_names(self):
        result = self.run_unpacked("--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        sources = re.search(r"\(built from (.*)\)", result.stdout.decode())[1]
        for package in ("libpng", "tiff", "libz-mingw-w64-dev"):
            self.assertRegex(sources, package + r"\S* \d")
        with open(os.path.join(self.top, "README.txt"), encoding="utf-8") as f:
            self.assertIn(sources, f.read())

    def test_filters_a_png_frame_from_the_unpacked_folder(self):
        frame = run_test.random_frame(7, 6, 12)
        write_png(os.path.join(self.dir, "in.png"), from_rgba16(frame))
        result = self.run_unpacked("--quiet", "--mode", "weighted", "in.png", "out.png")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read_image(os.path.join(self.dir, "out.png")).rgba16(),
                         reference.rebuild(frame, "weighted", 0))

    def test_filters_a_raw_stream_from_the_unpacked_folder(self):
        frames = [run_test.random_frame(5, 4, seed) for seed in (1, 2, 3)]
        with open(os.path.join(self.dir, "in.raw"), "wb") as f:
            for frame in frames:
                f.write(b"".join(struct.pack("<4H", *pixel) for row in frame for pixel in row))
        result = self.run_unpacked("--quiet", "--raw", "5x4", "--mode", "linear", "--field",
                                   "odd", "in.raw", "out.raw")
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(self.dir, "out.raw"), "rb") as f:
            data = f.read()
        got = [[[struct.unpack_from("<4H", data, ((i * 4 + y) * 5 + x) * 8) for x in range(5)]
                for y in range(4)] for i in range(3)]
        self.assertEqual(got, [reference.rebuild(frame, "linear", 1) for frame in frames])


if __name__ == "__main__":
    unittest.main(verbosity=2)
