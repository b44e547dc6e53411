"""The manual page against the program, as a reader sees both: every option that --help shows,
with its value, is in the OPTIONS section that groff renders, in the same order, the page names no
option the program lacks, and groff reads the page without a warning. (The page's options are
written from the option table by braidel-manual; this checks what reaches the reader.)

Usage: man_page_test.py MAN_PAGE   (the program under test, run_test.PROGRAM, is run with --help)
"""

import re
import subprocess
import sys
import unittest

from run_test import PROGRAM, native_only

MAN_PAGE = sys.argv[1]


def help_options(text):
    """([(name, value)] of the synopsis, [(name, value)] of the option lines) from --help."""
    synopsis, listed = [], []
    for line in text.splitlines():
        if line.startswith(("usage:", "       braidel-run")):
            synopsis += re.findall(r"(--[a-z-]+) ([A-Z][A-Za-z]*)", line)
        elif line.startswith("  --"):
            names, _, rest = line.strip().partition("  ")
            if "," in names:  # "--help, --version"
                listed += [(name.strip(), "") for name in names.split(",")]
            else:
                name, _, value = names.partition(" ")
                listed.append((name, value))
    return synopsis, listed


def man_options(page):
    """[(name, value)] of the OPTIONS section as groff renders it: each tag line "--name VALUE"."""
    rendered = subprocess.run(["groff", "-man", "-Tutf8", "-P-cbou", page], capture_output=True,
                              text=True, check=True).stdout
    section = rendered.split("\nOPTIONS\n", 1)[1].split("\n\n\n", 1)[0]
    section = re.split(r"\n(?=[A-Z])", section, maxsplit=1)[0]
    options = []
    for line in section.splitlines():
        if line.startswith("       --"):
            words = line.split()
            # A tag shorter than the indent has its description beside it: a flag.
            options.append((words[0], words[1] if len(words) == 2 else ""))
    return options


class ManPage(unittest.TestCase):
    @native_only("the page is the native program's, which the Linux package installs")
    def test_options_match_help(self):
        shown = subprocess.run([PROGRAM, "--help"], capture_output=True, text=True, timeout=120)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        documented = man_options(MAN_PAGE)
        synopsis, listed = help_options(shown.stdout)
        self.assertGreater(len(listed), 10)
        self.assertEqual(sorted(documented), sorted(set(synopsis + listed)))
        self.assertEqual([option for option in documented if option in listed], listed)

    def test_groff_reads_it_without_warnings(self):
        checked = subprocess.run(["groff", "-man", "-ww", "-z", MAN_PAGE], capture_output=True,
                                 text=True)
        self.assertEqual((checked.returncode, checked.stderr), (0, ""))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
