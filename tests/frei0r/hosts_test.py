"""braidel.so inside the applications that load frei0r effects: FFmpeg, MLT's melt and
GStreamer, each run as a user runs it, with FREI0R_PATH naming the built module's folder.

Every frame goes through every kernel and field in every host, and comes back equal, byte for
byte, to reference.py's result (checked against braidel-run itself in the Windows test run).
FFmpeg hands an effect its padded rows as if packed, so there only widths that are multiples of
16 pixels go in as they are; the others take the padding workaround docs/video.md gives.

A project as each editor saves it (tests/frei0r/projects) renders in melt as FFmpeg renders the
same settings. The editors themselves read the effect descriptions: each is started on a virtual
display with the description in place, and its own log says what it made of it.

The Debian package is built, checked with lintian, unpacked and loaded by FFmpeg from there,
installed and purged.

  hosts_test.py MODULE_FOLDER BUILD_FOLDER [unittest arguments]
"""

import glob
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

import numpy as np

import reference
import testimages

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
PROJECTS = os.path.join(HERE, "projects")
MODULE_DIR = os.path.abspath(sys.argv.pop(1))
BUILD = os.path.abspath(sys.argv.pop(1))
# The native braidel-run this build makes beside the module.
BRAIDEL_RUN = os.path.join(BUILD, "bin", "braidel-run")

SIZES = [(1, 5), (5, 1), (7, 3), (9, 9), (13, 6), (64, 33), (1920, 1080)]
# melt renders a frame smaller than 6 x 6 pixels as white whatever the effect (its colour
# producer alone does the same), so its smallest frames are those.
MELT_SIZES = [(6, 6), (7, 7)] + [(w, h) for w, h in SIZES if w >= 6 and h >= 6]
SETTINGS = [(kernel, field) for kernel in reference.KERNELS for field in reference.FIELDS]


def host_env(module_dir):
    env = dict(os.environ, FREI0R_PATH=module_dir)
    # Both MLT and GStreamer keep caches of what they found; keep them out of the user's home.
    env["GST_REGISTRY"] = os.path.join(SCRATCH.name, "gst-registry.bin")
    return env


def run(args, module_dir=MODULE_DIR):
    result = subprocess.run(args, env=host_env(module_dir), stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=300)
    if result.returncode != 0:
        raise AssertionError("%s exited %d: %s" % (args[0], result.returncode,
                                                    result.stderr.decode(errors="replace")))
    return result


# Now and then melt exits 0 having written nothing at all, with or without an effect: its consumer
# can stop before it starts. A run that leaves no output is run again, a few times at most; the
# output is removed first, so that a stale file of an earlier run is never read as this one's.
MELT_TRIES = 3


def run_melt(args, output):
    for _ in range(MELT_TRIES):
        if os.path.exists(output):
            os.unlink(output)
        run(["melt", "-quiet", *args])
        if os.path.exists(output):
            return
    raise AssertionError("melt wrote no %s in %d runs" % (output, MELT_TRIES))


def raw_frame(data, width, height):
    return np.frombuffer(data, dtype=np.uint8).reshape(height, width, 4)


def read_rgba8_png(path):
    image = testimages.read_png(path)
    assert (image.channels, image.bits) == (4, 8), (image.channels, image.bits)
    return image.array().astype(np.uint8)


def padded_width(width):
    return (width + 15) // 16 * 16


def ffmpeg_filter(width, kernel, field):
    effect = "frei0r=braidel:%s|%s" % (kernel, field)
    if width % 16 == 0:
        return effect
    # The workaround of docs/video.md: transparent black columns up to a multiple of 16, cut off
    # after.
    return "pad=ceil(iw/16)*16:ih:0:0:black@0,%s,crop=%d:ih:0:0" % (effect, width)


def ffmpeg_expected(frame, kernel, field):
    height, width, _ = frame.shape
    padded = np.zeros((height, padded_width(width), 4), dtype=np.uint8)
    padded[:, :width] = frame
    return reference.rebuild8(padded, kernel, field)[:, :width]


def through_ffmpeg(path, width, height, kernel, field, module_dir=MODULE_DIR):
    result = run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "rawvideo",
                  "-pix_fmt", "rgba", "-s", "%dx%d" % (width, height), "-i", path,
                  "-vf", ffmpeg_filter(width, kernel, field), "-f", "rawvideo", "-pix_fmt", "rgba",
                  "-"], module_dir)
    return raw_frame(result.stdout, width, height)


def through_gstreamer(path, width, height, kernel, field):
    result = run(["gst-launch-1.0", "-q", "filesrc", "location=" + path, "!", "rawvideoparse",
                  "width=%d" % width, "height=%d" % height, "format=rgba", "framerate=25/1", "!",
                  "frei0r-filter-braidel", "kernel=" + kernel, "field=" + field, "!",
                  "fdsink", "fd=1"])
    return raw_frame(result.stdout, width, height)


# melt's consumer keeps to the frame rate by default and drops frames it is late for, which on a
# busy machine puts other frames in the output: every frame is rendered, however long it takes.
MELT_EVERY_FRAME = ["real_time=0"]


def melt_profile(folder, width, height):
    # melt needs a description line in a profile file; the frame size is the picture's own, so
    # MLT scales nothing.
    path = os.path.join(folder, "profile-%dx%d" % (width, height))
    with open(path, "w") as out:
        out.write("description=%dx%d\nwidth=%d\nheight=%d\nprogressive=1\nsample_aspect_num=1\n"
                  "sample_aspect_den=1\ndisplay_aspect_num=%d\ndisplay_aspect_den=%d\n"
                  "frame_rate_num=25\nframe_rate_den=1\ncolorspace=709\n"
                  % (width, height, width, height, width, height))
    return path


def through_melt(png_path, width, height, kernel, field):
    folder = os.path.dirname(png_path)
    out = os.path.join(folder, "melt-out.png")
    run_melt(["-profile", melt_profile(folder, width, height), png_path, "out=0",
              "-filter", "frei0r.braidel", "kernel=" + kernel, "field=" + field,
              "-consumer", "avformat:" + out, "vcodec=png", "pix_fmt=rgba", *MELT_EVERY_FRAME],
             out)
    return read_rgba8_png(out)


SCRATCH = tempfile.TemporaryDirectory(prefix="braidel-frei0r-")

# The clip the editor projects name: lossless RGB (FFV1), opaque, the size and rate of their
# profile, with noise so that every kernel changes every rebuilt line.
CLIP = {"name": "stereo.mkv", "size": (320, 180), "frames": 10}
# Each project as its editor saved it, with the settings it holds.
EDITOR_PROJECTS = [("weighted-odd.kdenlive", "weighted", "odd"), ("linear-even.mlt", "linear", "even")]


def stereo_clip(folder):
    path = os.path.join(folder, CLIP["name"])
    if not os.path.exists(path):
        os.makedirs(folder, exist_ok=True)
        source = "testsrc2=size=%dx%d:rate=25,noise=alls=60:allf=t" % CLIP["size"]
        run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source, "-frames:v",
             str(CLIP["frames"]), "-c:v", "ffv1", "-pix_fmt", "gbrp", "-fflags", "+bitexact",
             "-flags", "+bitexact", path])
    return path


def project_beside_clip(name, folder):
    """The checked-in project copied next to the clip. A Kdenlive project names its clips
    relative to its root attribute, which is pointed at that folder, and keeps each clip's size
    and hash (for a file under 2 MB, the MD5 of all of it), which are the clip's here: Kdenlive
    asks about a clip that differs from them before it goes on."""
    with open(os.path.join(PROJECTS, name)) as source:
        text = source.read()
    text = re.sub(r'root="[^"]*"', 'root="%s"' % folder, text, count=1)
    with open(os.path.join(folder, CLIP["name"]), "rb") as clip:
        data = clip.read()
    assert len(data) < 2000000, len(data)
    for key, value in (("file_size", len(data)), ("file_hash", hashlib.md5(data).hexdigest())):
        text = re.sub(r'(<property name="kdenlive:%s">)[^<]*' % key, r"\g<1>%s" % value, text)
    path = os.path.join(folder, name)
    with open(path, "w") as out:
        out.write(text)
    return path


def raw_frames(data, width=CLIP["size"][0], height=CLIP["size"][1]):
    return np.frombuffer(data, dtype=np.uint8).reshape(-1, height, width, 4)


def both_eyes_graph(kernel, stack="hstack"):
    """The graph for both eyes of docs/video.md: one instance per field, the left eye's (the first
    row's) rebuilding the odd rows, then the two views side by side (or, with vstack, top and
    bottom)."""
    return ("split[a][b];[a]frei0r=braidel:%s|odd[left];[b]frei0r=braidel:%s|even[right];"
            "[left][right]%s" % (kernel, kernel, stack))


class Hosts(unittest.TestCase):
    def check_host(self, host, sizes, expected_of=reference.rebuild8):
        for width, height in sizes:
            folder = os.path.join(SCRATCH.name, "%s-%dx%d" % (host.__name__, width, height))
            os.makedirs(folder, exist_ok=True)
            frame = reference.random_frame(width, height, width * 7919 + height)
            path = os.path.join(folder, "in.raw")
            if host is through_melt:
                path = os.path.join(folder, "in.png")
                testimages.write_png(path, testimages.from_array(frame, 8))
            else:
                with open(path, "wb") as out:
                    out.write(frame.tobytes())
            for kernel, field in SETTINGS:
                with self.subTest(size="%dx%d" % (width, height), kernel=kernel, field=field):
                    got = host(path, width, height, kernel, field)
                    want = expected_of(frame, kernel, field)
                    mismatches = np.argwhere(got != want)
                    self.assertEqual(len(mismatches), 0,
                                     "first differing (row, column, channel): %s" %
                                     (mismatches[:3].tolist(),))

    def test_gstreamer(self):
        self.check_host(through_gstreamer, SIZES)

    def test_melt(self):
        self.check_host(through_melt, MELT_SIZES)

    def test_ffmpeg_widths_of_whole_16_pixel_blocks(self):
        self.check_host(through_ffmpeg, [s for s in SIZES if s[0] % 16 == 0])

    def test_ffmpeg_other_widths_through_the_padding_workaround(self):
        self.check_host(through_ffmpeg, [s for s in SIZES if s[0] % 16 != 0], ffmpeg_expected)

    def test_editor_projects_render_in_melt_as_in_ffmpeg(self):
        folder = os.path.join(SCRATCH.name, "projects")
        clip = stereo_clip(folder)
        for name, kernel, field in EDITOR_PROJECTS:
            with self.subTest(project=name):
                # The Kdenlive project's timeline runs on with its black track: its clip's frames.
                rendered = os.path.join(folder, name + ".rgba")
                run_melt([project_beside_clip(name, folder), "out=%d" % (CLIP["frames"] - 1),
                          "-consumer", "avformat:" + rendered, "f=rawvideo", "pix_fmt=rgba",
                          *MELT_EVERY_FRAME], rendered)
                with open(rendered, "rb") as melt_output:
                    melt = melt_output.read()
                ffmpeg = run(["ffmpeg", "-nostdin", "-v", "error", "-i", clip, "-vf",
                              "frei0r=braidel:%s|%s" % (kernel, field), "-f", "rawvideo",
                              "-pix_fmt", "rgba", "-"]).stdout
                got, want = raw_frames(melt), raw_frames(ffmpeg)
                self.assertEqual((len(got), len(want)), (CLIP["frames"], CLIP["frames"]))
                differing = [n for n in range(len(want)) if not np.array_equal(got[n], want[n])]
                self.assertEqual(differing, [], "frames that differ")

    def test_ffmpeg_both_eyes_graph_equals_braidel_run_side_by_side(self):
        folder = os.path.join(SCRATCH.name, "both-eyes")
        clip = stereo_clip(folder)
        width, height = CLIP["size"]
        decoded = run(["ffmpeg", "-nostdin", "-v", "error", "-i", clip, "-f", "rawvideo",
                       "-pix_fmt", "rgba", "-"]).stdout
        names = []
        for n, frame in enumerate(raw_frames(decoded)):
            names.append(os.path.join(folder, "frame%02d.png" % n))
            testimages.write_png(names[-1], testimages.from_array(reference.widen(frame), 16))
        for kernel in reference.KERNELS:
            with self.subTest(kernel=kernel):
                out = os.path.join(folder, kernel)
                run([BRAIDEL_RUN, "--quiet", "--mode", kernel, "--both-eyes", "side-by-side",
                     "--depth", "8", "--out-dir", out, *names])
                want = np.stack([read_rgba8_png(os.path.join(out, os.path.basename(name)))
                                 for name in names])
                got = raw_frames(run(["ffmpeg", "-nostdin", "-v", "error", "-i", clip, "-vf",
                                      both_eyes_graph(kernel), "-f", "rawvideo", "-pix_fmt",
                                      "rgba", "-"]).stdout, 2 * width, height)
                self.assertEqual(got.shape, want.shape)
                differing = [n for n in range(len(want)) if not np.array_equal(got[n], want[n])]
                self.assertEqual(differing, [], "frames that differ")

    def test_stereo_layout_marked_in_matroska_and_mp4(self):
        # Matroska's StereoMode from the stream's stereo_mode tag; MP4's box only from a stream
        # that carries the layout, with -strict unofficial: the Matroska file remuxed.
        folder = os.path.join(SCRATCH.name, "stereo-mode")
        clip = stereo_clip(folder)
        width, height = CLIP["size"]
        layouts = [("hstack", "left_right", "side by side", (2 * width, height)),
                   ("vstack", "top_bottom", "top and bottom", (width, 2 * height))]
        for stack, mode, shown, size in layouts:
            mkv, mp4 = (os.path.join(folder, mode + extension) for extension in (".mkv", ".mp4"))
            run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", clip, "-vf",
                 both_eyes_graph("linear", stack), "-c:v", "libx264rgb", "-qp", "0",
                 "-metadata:s:v:0", "stereo_mode=" + mode, mkv])
            run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", mkv, "-c", "copy", "-strict",
                 "unofficial", mp4])
            for path in (mkv, mp4):
                with self.subTest(file=os.path.basename(path)):
                    probe = json.loads(run(["ffprobe", "-v", "error", "-select_streams", "v:0",
                                            "-show_entries", "stream=width,height:stream_side_data",
                                            "-of", "json", path]).stdout)
                    stream = probe["streams"][0]
                    self.assertEqual((stream["width"], stream["height"]), size)
                    stereo = [d for d in stream.get("side_data_list", [])
                              if d.get("side_data_type") == "Stereo 3D"]
                    self.assertEqual([(d["type"], d["inverted"]) for d in stereo], [(shown, 0)])


# An editor's start on the virtual display is bounded: past this the test ends it and fails.
EDITOR_SECONDS = 60


def read_text(path):
    try:
        with open(path, errors="replace") as log:
            return log.read()
    except FileNotFoundError:
        return ""


def marked_processes(marker):
    """The processes whose environment holds the marker (one NAME=VALUE entry): whatever an
    editor run started, also what left its session."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as environ:
                if marker.encode() in environ.read().split(b"\0"):
                    found.append(int(pid))
        except OSError:
            pass
    return found


def end_processes(session, marker):
    """Ends an editor's session, then anything marked that outlived it. Returns what is left."""
    for sig, grace in ((signal.SIGTERM, 10), (signal.SIGKILL, 5)):
        try:
            os.killpg(session.pid, sig)
        except ProcessLookupError:
            pass
        for pid in marked_processes(marker):
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        try:
            session.wait(grace)
        except subprocess.TimeoutExpired:
            continue
        deadline = time.monotonic() + grace
        while marked_processes(marker) and time.monotonic() < deadline:
            time.sleep(0.2)
        if not marked_processes(marker):
            break
    return marked_processes(marker)


class VirtualDisplay:
    """A display of its own (Xvfb picks a free number), ended with the object."""

    def __enter__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp",
                                        "-screen", "0", "1280x800x24"], pass_fds=(write,),
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as answer:
            number = answer.readline().strip()
        if not number:
            self.server.kill()
            self.server.wait()
            raise AssertionError("Xvfb did not start")
        self.name = ":" + number
        return self

    def __exit__(self, *exc):
        self.server.terminate()
        try:
            self.server.wait(10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()


def editor_home(name):
    """A scratch home, temporary and runtime folder for one editor run, and its environment:
    nothing of the caller's desktop session, the built module on FREI0R_PATH."""
    folder = tempfile.mkdtemp(prefix=name + "-", dir=SCRATCH.name)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8",
           "FREI0R_PATH": MODULE_DIR}
    for variable, sub in (("HOME", "home"), ("TMPDIR", "tmp"), ("XDG_RUNTIME_DIR", "run")):
        env[variable] = os.path.join(folder, sub)
        os.makedirs(env[variable], mode=0o700)
    return folder, env


def run_editor(command, env, log, done):
    """Starts an editor on a virtual display, in a session of its own, until its log file
    matches `done` or EDITOR_SECONDS pass; then ends it and everything it started. Returns the
    match (or None), the log, and the processes that could not be ended."""
    token = uuid.uuid4().hex
    env = dict(env, BRAIDEL_EDITOR_RUN=token)
    marker = "BRAIDEL_EDITOR_RUN=" + token
    with VirtualDisplay() as display:
        env["DISPLAY"] = display.name
        output = os.path.join(env["HOME"], "output.txt")
        with open(output, "wb") as out:
            session = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.STDOUT, start_new_session=True)
        match, deadline = None, time.monotonic() + EDITOR_SECONDS
        try:
            while match is None and session.poll() is None and time.monotonic() < deadline:
                time.sleep(0.5)
                match = re.search(done, read_text(log or output))
        finally:
            left = end_processes(session, marker)
    return match, read_text(log or output), left


def link_tree(source, target):
    """A copy of a folder made of links to its files."""
    for folder, _, files in os.walk(source):
        into = os.path.join(target, os.path.relpath(folder, source))
        os.makedirs(into, exist_ok=True)
        for name in files:
            os.symlink(os.path.join(folder, name), os.path.join(into, name))


class Editors(unittest.TestCase):
    # Kdenlive builds an effect's panel when a project's effect is loaded, and logs how many
    # parameters it found: 2 from the description, 0 from MLT's own metadata (text parameters
    # become hidden, fixed ones).
    KDENLIVE_PANEL = r'END parsing of  "frei0r\.braidel" \. Number of found parameters (\d+)'
    # Shotcut reads each filter folder in turn and adds the filter when MLT has its service.
    SHOTCUT_FILTER = (r'reading filter metadata "braidel" "meta\.qml" *\n'
                      r'.*<FilterController::loadFilterMetadata> added filter "([^"]+)"')

    def assert_ran_and_ended(self, match, log, left):
        self.assertEqual(left, [], "processes left behind")
        self.assertIsNotNone(match, "the log never said it; its end:\n" + log[-3000:])

    def test_kdenlive_panel_has_both_menus_only_with_the_description(self):
        for with_description, parameters in ((True, "2"), (False, "0")):
            with self.subTest(description=with_description):
                folder, env = editor_home("kdenlive")
                # Kdenlive reads effect descriptions from every data folder's kdenlive/effects.
                effects = os.path.join(folder, "data", "kdenlive", "effects")
                os.makedirs(effects)
                if with_description:
                    shutil.copy(os.path.join(SOURCE, "frei0r", "kdenlive", "frei0r_braidel.xml"),
                                effects)
                env["XDG_DATA_DIRS"] = os.path.join(folder, "data") + ":/usr/share"
                stereo_clip(folder)
                project = project_beside_clip(EDITOR_PROJECTS[0][0], folder)
                # Kdenlive needs a session bus; dbus-run-session gives it one of its own.
                match, log, left = run_editor(["dbus-run-session", "--", "kdenlive", project],
                                              env, None, self.KDENLIVE_PANEL)
                self.assert_ran_and_ended(match, log, left)
                self.assertEqual(match[1], parameters)

    def test_shotcut_adds_the_braidel_filter(self):
        folder, env = editor_home("shotcut")
        # Shotcut takes its filters from share/shotcut/qml/filters beside its program's folder:
        # a copy of the program beside a linked copy of its share folder, with ours added.
        program = os.path.join(folder, "bin", "shotcut")
        os.makedirs(os.path.dirname(program))
        shutil.copy(shutil.which("shotcut"), program)
        share = os.path.join(folder, "share", "shotcut")
        link_tree("/usr/share/shotcut", share)
        shutil.copytree(os.path.join(SOURCE, "frei0r", "shotcut", "braidel"),
                        os.path.join(share, "qml", "filters", "braidel"))
        appdata = os.path.join(folder, "appdata")
        match, log, left = run_editor([program, "--appdata", appdata], env,
                                      os.path.join(appdata, "shotcut-log.txt"),
                                      self.SHOTCUT_FILTER)
        self.assert_ran_and_ended(match, log, left)
        self.assertEqual(match[1], "Braidel: Stereo Field Rebuild")


class DebianPackage(unittest.TestCase):
    CONTENTS = {"./usr/lib/frei0r-1/braidel.so", "./usr/share/doc/braidel-frei0r/copyright",
                "./usr/share/doc/braidel-frei0r/changelog.gz"}
    # The editors' descriptions, from the source tree, where each editor looks for them.
    DESCRIPTIONS = {"./usr/share/kdenlive/effects/frei0r_braidel.xml": "kdenlive/frei0r_braidel.xml",
                    "./usr/share/shotcut/qml/filters/braidel/meta.qml": "shotcut/braidel/meta.qml",
                    "./usr/share/shotcut/qml/filters/braidel/ui.qml": "shotcut/braidel/ui.qml"}

    @classmethod
    def setUpClass(cls):
        subprocess.run(["cmake", "--build", BUILD, "--target", "package"], check=True,
                       capture_output=True)
        cls.deb = glob.glob(os.path.join(BUILD, "package", "braidel-frei0r_*_amd64.deb"))[0]

    def test_lintian_finds_no_error(self):
        result = subprocess.run(["lintian", "--allow-root", self.deb], capture_output=True,
                                text=True)
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], result.stdout)
        # The module is loaded by path, outside every library path: no ldconfig scripts.
        self.assertNotIn("maintscript-calls-ldconfig", result.stdout)
        control = subprocess.run(["dpkg-deb", "--info", self.deb], check=True,
                                 capture_output=True, text=True).stdout
        self.assertNotIn("postinst", control)
        self.assertNotIn("postrm", control)

    def test_installs_the_module_where_the_hosts_look_and_nothing_else(self):
        listing = subprocess.run(["dpkg-deb", "--contents", self.deb], check=True,
                                 capture_output=True, text=True).stdout
        files = {line.split()[-1] for line in listing.splitlines() if not line.startswith("d")}
        self.assertEqual(files, self.CONTENTS | set(self.DESCRIPTIONS))

    def test_unpacked_package_holds_the_descriptions(self):
        folder = os.path.join(SCRATCH.name, "unpacked-descriptions")
        subprocess.run(["dpkg-deb", "-x", self.deb, folder], check=True)
        for installed, source in self.DESCRIPTIONS.items():
            with self.subTest(path=installed):
                with open(os.path.join(folder, installed), "rb") as got, \
                        open(os.path.join(SOURCE, "frei0r", source), "rb") as want:
                    self.assertEqual(got.read(), want.read())

    def test_purge_leaves_nothing_behind(self):
        if os.geteuid() != 0:
            self.skipTest("installing a package needs root")
        status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "braidel-frei0r"],
                                capture_output=True, text=True).stdout
        if status.endswith(" installed"):
            self.skipTest("braidel-frei0r is installed here; it is left as it is")
        # Folders that only this package makes go with it.
        own_folders = {"/usr/share/doc/braidel-frei0r", "/usr/share/shotcut/qml/filters/braidel"}
        run(["dpkg", "-i", self.deb])
        try:
            listed = run(["dpkg-query", "-L", "braidel-frei0r"]).stdout.decode().splitlines()
            files = {path for path in listed if os.path.isfile(path)}
        finally:
            run(["dpkg", "--purge", "braidel-frei0r"])
        self.assertEqual(files, {path[1:] for path in self.CONTENTS | set(self.DESCRIPTIONS)})
        self.assertEqual(sorted(path for path in files | own_folders if os.path.lexists(path)), [])
        status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "braidel-frei0r"],
                                capture_output=True, text=True).stdout
        self.assertIn(status, ("", "unknown ok not-installed"))


if __name__ == "__main__":
    unittest.main()
