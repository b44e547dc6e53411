"""The commands of the user's pages run as a user pastes them: every shell block (```sh) of the
README, HACKING.md and docs/, page by page in the page's order, in one shell of its own (so that
a block sees the files and variables of the blocks above it) in a scratch folder, and the
examples of the manual page on small generated inputs. Every link between the pages leads to a
file and a heading that exist. braidel-run is the linux
preset's (BRAIDEL_RUN) and the frei0r module the frei0r preset's, each on the path a user's
installed copy would be on (PATH, FREI0R_PATH); HOME is the scratch folder. The blocks that
cannot run here are listed below with the reason, and the list is checked against the pages.

Usage: doc_commands_test.py ROOT FREI0R_MODULE_DIR
"""

import os
import re
import shlex
import subprocess
import sys
import tempfile
import unittest

ROOT, MODULE_DIR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
PROGRAM = os.environ["BRAIDEL_RUN"]
PAGES = ["README.md", "HACKING.md", "docs/braidel-run.md", "docs/video.md", "docs/plugin.md",
         "docs/performance.md"]
MAN_PAGE = "cli/braidel-run.1"

# (page, a line of the block, why it does not run here)
NOT_RUN = [
    ("README.md", "cmake --workflow --preset linux-package",
     "builds both packages and installs them for the whole system (deb_package and the frei0r "
     "package test build, unpack and run them)"),
    ("README.md", "scripts/demo     # builds",
     "builds and tests every preset (the demo test runs the demo)"),
    ("docs/performance.md", "scripts/bench --quality",
     "a benchmark of minutes (quality_bench runs it on small crops)"),
    ("docs/performance.md", "scripts/bench --e2e       # both programs",
     "a benchmark of minutes on a whole machine"),
    ("docs/performance.md", "scripts/bench --pipe ", "a benchmark of minutes on a whole machine"),
    ("docs/performance.md", "scripts/bench --e2e           # the end-to-end table",
     "a benchmark of minutes on a whole machine"),
    ("docs/performance.md", "scripts/bench --frei0r ", "a benchmark of minutes on a whole machine"),
    ("docs/performance.md", "scripts/bench --eyes ", "a benchmark of minutes on a whole machine"),
    ("docs/braidel-run.md", "farm/braidel-submit --chunk 20",
     "needs a Slurm cluster (braidel_run_slurm starts one and runs this recipe)"),
    ("docs/braidel-run.md", "JOB_COMPLETION_INDEX",
     "a cloud batch system's task, written on paper (the Slurm recipe is the tested one)"),
]

# (page, a line of the block): blocks that name the repository's own build, run from its root.
FROM_ROOT = [
    ("docs/video.md", "cp build/frei0r/frei0r-1/braidel.so"),
]

FENCED = re.compile(r"^( *)```sh\n(.*?)^\1```$", re.M | re.S)


def shell_blocks(page):
    """The page's ```sh blocks, each without the indent of its fence."""
    with open(os.path.join(ROOT, page), encoding="utf-8") as f:
        text = f.read()
    blocks = []
    for indent, body in FENCED.findall(text):
        blocks.append("".join(line[len(indent):] for line in body.splitlines(True)))
    return blocks


def man_examples():
    """The commands between .EX and .EE in the manual page, unescaped."""
    with open(os.path.join(ROOT, MAN_PAGE), encoding="utf-8") as f:
        text = f.read()
    return [body.replace("\\-", "-").replace("\\e", "\\")
            for body in re.findall(r"^\.EX\n(.*?)^\.EE$", text, re.M | re.S)]


def slug(heading):
    """The anchor a Markdown heading gets: lower case, punctuation dropped, spaces as hyphens."""
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as f:
        text = re.sub(r"^```.*?^```", "", f.read(), flags=re.M | re.S)
    return {slug(heading) for heading in re.findall(r"^#+ (.*)$", text, re.M)}


def links(page):
    """(target file, anchor or None) of every relative link and picture of the page."""
    with open(os.path.join(ROOT, page), encoding="utf-8") as f:
        text = re.sub(r"^ *```.*?^ *```", "", f.read(), flags=re.M | re.S)
    found = []
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target):
            continue
        path, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        found.append((path, anchor or None))
    return found


def listed(table, page, block):
    return [row for row in table if row[0] == page and row[1] in block]


def page_script(page):
    """(one shell script of the page's blocks that run here, in order, each announced on stderr
    by its number; the numbers)"""
    script, numbers = "", []
    for number, block in enumerate(shell_blocks(page), 1):
        if listed(NOT_RUN, page, block):
            continue
        if listed(FROM_ROOT, page, block):
            block = "(\ncd %s\n%s)\n" % (shlex.quote(ROOT), block)
        script += "echo '@@ block %d' >&2\n%s" % (number, block)
        numbers.append(number)
    return script, numbers


class Scratch:
    """A scratch folder with the user's environment: the programs on PATH and FREI0R_PATH, HOME
    and every cache inside it."""

    def __init__(self):
        self.folder = tempfile.TemporaryDirectory(prefix="braidel-docs-")
        self.path = self.folder.name
        home = os.path.join(self.path, "home")
        os.mkdir(home)
        self.env = {
            "PATH": os.path.dirname(os.path.abspath(PROGRAM)) + ":/usr/bin:/bin",
            "FREI0R_PATH": MODULE_DIR,
            "HOME": home,
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "GST_REGISTRY": os.path.join(home, "gst-registry.bin"),
            "LANG": "C.UTF-8",
        }

    def run(self, block, cwd=None):
        return subprocess.run(["bash", "-euo", "pipefail", "-c", block], cwd=cwd or self.path,
                              env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=600)

    def close(self):
        self.folder.cleanup()


class DocCommands(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(os.path.join(MODULE_DIR, "braidel.so")):
            raise AssertionError(
                "no frei0r module in %s: build the frei0r preset first (scripts/test does)"
                % MODULE_DIR)

    def assertRan(self, result, where, block):
        self.assertEqual(result.returncode, 0, "%s: exit %d running:\n%s\nstderr:\n%s" % (
            where, result.returncode, block, result.stderr[-3000:]))

    def test_links_lead_to_a_file_and_heading(self):
        for page in PAGES:
            for path, anchor in links(page):
                with self.subTest(page=page, link=(path, anchor)):
                    self.assertTrue(os.path.exists(os.path.join(ROOT, path)))
                    if anchor is not None:
                        self.assertIn(anchor, anchors(os.path.join(ROOT, path)))

    def test_every_listed_block_is_on_its_page(self):
        # A row that names no block, or several, would hide a block from the test.
        for row in NOT_RUN + FROM_ROOT:
            with self.subTest(row=row[:2]):
                matches = [block for block in shell_blocks(row[0]) if row[1] in block]
                self.assertEqual(len(matches), 1, row)

    def test_the_pages_commands(self):
        ran = 0
        for page in PAGES:
            script, numbers = page_script(page)
            ran += len(numbers)
            if not numbers:
                continue
            scratch = Scratch()
            try:
                with self.subTest(page=page):
                    result = scratch.run(script)
                    started = re.findall(r"^@@ block (\d+)$", result.stderr, re.M)
                    self.assertRan(result, "%s, block %s" % (page, started[-1] if started else "?"),
                                   script)
            finally:
                scratch.close()
        self.assertGreaterEqual(ran, 8)

    def test_the_manual_pages_examples(self):
        # The page's examples name in.png, in.mp4 and in.mkv (1920 x 1080), the frames 1 to 120
        # of shot.%04d.png and a folder out/: short and small ones are made first.
        scratch = Scratch()
        try:
            made = scratch.run(
                "ffmpeg -v error -f lavfi -i testsrc2=size=96x64 -frames:v 1 -pix_fmt rgba64be "
                "in.png && ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 "
                "-frames:v 3 -c:v libx264 -pix_fmt yuv444p in.mp4 && ffmpeg -v error -i in.mp4 "
                "-c:v ffv1 in.mkv && ffmpeg -v error -f lavfi -i testsrc2=size=16x16 -frames:v 120 "
                "-start_number 1 -pix_fmt rgba64be shot.%04d.png && mkdir out")
            self.assertRan(made, "the inputs", "")
            examples = man_examples()
            self.assertGreaterEqual(len(examples), 2)
            for number, block in enumerate(examples, 1):
                with self.subTest(example=number):
                    self.assertRan(scratch.run(block), "%s, example %d" % (MAN_PAGE, number),
                                   block)
        finally:
            scratch.close()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
