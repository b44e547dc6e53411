#!/usr/bin/python3
"""Checks the image-file codec, through image_files_tool, against independent decoders.

  check_image_files.py TOOL SOURCES

SOURCES holds the unpacked libpng and libtiff source packages: their test images are decoded
and compared with pypng's and tifffile's reading of them (references.py), as are generated TIFF
variants and files the codec must refuse. Metadata written by the codec is read back with pypng
and tifffile. Ends with "N passed, N failed".
"""
import itertools
import json
import pathlib
import subprocess
import sys
import tempfile

import numpy as np

import references

TOOL = sys.argv[1]
SOURCES = pathlib.Path(sys.argv[2])
WORK_FOLDER = tempfile.TemporaryDirectory(prefix="image-files-")
WORK = pathlib.Path(WORK_FOLDER.name)
RNG = np.random.default_rng(7)
failures = []
passed = 0


def check(name, ok, detail=""):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(f"{name}: {detail}")
        print(f"FAIL {name}: {detail}")


def run_tool(*arguments):
    result = subprocess.run([TOOL, *map(str, arguments)], capture_output=True, text=True,
                            timeout=60)
    return result.returncode, result.stdout, result.stderr


def decode(path):
    """(pixels as h x w x 4 uint16, metadata) or (None, error line)."""
    raw = WORK / "pixels.raw"
    code, out, err = run_tool("decode", path, raw)
    if code != 0:
        return None, err
    meta = json.loads(out)
    pixels = np.fromfile(raw, "<u2").reshape(meta["height"], meta["width"], 4)
    return pixels, meta


def check_case(case):
    pixels, meta = decode(case.path)
    name = case.name
    if pixels is None:
        one_line = meta.count("\n") == 1 and meta.strip() != ""
        refused = case.refusal is not None and case.refusal in meta
        check(name, one_line and (refused or case.either), meta)
        return
    if case.either and case.pixels is None:
        check(name, True)
        return
    check(name, case.pixels is not None and np.array_equal(pixels, case.pixels),
          f"decoded, expected a refusal naming {case.refusal!r}" if case.pixels is None
          else "pixels differ from the reference")
    if case.pages is not None:
        check(f"{name} pages", meta["pages"] == case.pages,
              f"{meta['pages']}, tifffile {case.pages}")
    check(f"{name} alpha kind", meta["associated"] == case.associated, f"{meta['associated']}")


def check_metadata():
    for (kind, make), target in itertools.product(references.METADATA_SOURCES.items(),
                                                  ("png", "tif")):
        source = WORK / f"meta-{kind}.{'tif' if kind == 'tif' else 'png'}"
        make(source)
        out = WORK / f"meta-from-{kind}.{target}"
        code, _, err = run_tool("convert", source, out)
        name = f"metadata {kind} -> {target}"
        if code != 0:
            check(name, False, err)
            continue
        for what, ok, detail in references.metadata_checks(out, kind):
            check(f"{name}: {what}", ok, detail)


def main():
    cases = (references.library_cases(SOURCES) + references.generated_cases(WORK, RNG) +
             references.refusal_cases(WORK, RNG))
    for case in cases:
        check_case(case)
    check_metadata()
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
