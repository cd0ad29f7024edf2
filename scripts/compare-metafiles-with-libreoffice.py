#!/usr/bin/python3
"""LibreOffice's drawing of our enhanced metafiles against its drawing of their sources.

Usage: compare-metafiles-with-libreoffice.py DUMP_TOOL WORKDIR [DPI] [LIMIT]

DUMP_TOOL is build/tests/imaging/corpus_metafile_dump: it writes every WMF and EMF of the corpus and
the enhanced metafile the metafile format makes of it.  Each of the two is put alone on a page of a
minimal RTF document (\\wmetafile8 or \\emfblip, shown at the picture's natural size), LibreOffice
converts all of them to PDF in one run, pdftoppm rasterises the pages, and the two pages of each
picture are compared tile by tile the way ../shared/tools/page-diff.py compares documents: tiles of
about 6 mm, each allowed to line up with the other page shifted by up to about a millimetre, and the
largest mean grey difference of any tile must stay within LIMIT (default 48, out of 255).

A picture shown cropped is compared a second time (NAME-crop): the source with the document's crop
(\\piccrop...) against our metafile cut to the visible part.

EMF sources whose alpha-blended icons the metafile format describes anew (EMF-mended: LibreOffice
shows the originals on black squares) are compared too but listed apart: they are meant to differ.

Prints one line per picture whose pages differ and a summary; exits 1 when any differs."""
import binascii
import glob
import os
import struct
import subprocess
import sys

import numpy as np
from PIL import Image

tool, work = sys.argv[1], sys.argv[2]
dpi = int(sys.argv[3]) if len(sys.argv) > 3 else 96
limit = float(sys.argv[4]) if len(sys.argv) > 4 else 48.0
tile = max(8, round(dpi * 0.25))
slack = max(1, round(dpi / 25))

pics, rtfs, pdfs = (os.path.join(work, d) for d in ("pictures", "rtf", "pdf"))
for d in (pics, rtfs, pdfs):
    os.makedirs(d, exist_ok=True)
    for old in glob.glob(os.path.join(d, "*")):
        os.remove(old)

listing = subprocess.run([tool, pics], capture_output=True, text=True, check=True).stdout.splitlines()
entries, failed = [], []
for line in listing:
    name, kind, *rest = line.split("\t")
    if kind == "FAILED":
        failed.append(f"{name}: our metafile could not be made: {rest[0] if rest else ''}")
        continue
    crop = None
    if len(rest) >= 9 and rest[2] == "crop":
        crop = tuple(float(v) for v in rest[3:7]) + (int(rest[7]), int(rest[8]))
    entries.append((name, kind, int(rest[0]), int(rest[1]), crop))


def rtf(picture, kind, width_px, height_px, crop=None):
    """A page holding the picture alone at its natural size (cropped, when a crop is given:
    fractions cut off left, top, right, bottom and the whole picture's size in pixels)."""
    data = open(picture, "rb").read()
    page_w, page_h = width_px, height_px
    cut = ""
    if crop:
        left, top, right, bottom, width_px, height_px = crop
        cut = r"\piccropl%d\piccropt%d\piccropr%d\piccropb%d " % tuple(
            round(f * n * 15) for f, n in ((left, width_px), (top, height_px), (right, width_px), (bottom, height_px)))
    tw, th = width_px * 15, height_px * 15
    hm_w, hm_h = round(width_px * 2540 / 96), round(height_px * 2540 / 96)
    if kind.startswith("WMF"):
        if struct.unpack_from("<I", data, 0)[0] == 0x9AC6CDD7:
            data = data[22:]
        head = r"{\pict\wmetafile8\picw%d\pich%d\picwgoal%d\pichgoal%d " % (hm_w, hm_h, tw, th) + cut
    else:
        head = r"{\pict\emfblip\picw%d\pich%d\picwgoal%d\pichgoal%d " % (hm_w, hm_h, tw, th) + cut
    digits = binascii.hexlify(data).decode()
    body = "\n".join(digits[i:i + 128] for i in range(0, len(digits), 128))
    page = r"\paperw%d\paperh%d\margl360\margr360\margt360\margb360 " % (page_w * 15 + 1440, page_h * 15 + 1440)
    return r"{\rtf1\ansi\deff0{\fonttbl{\f0 Liberation Serif;}}" + page + r"\pard\plain " + head + body + r"}\par}"


for name, kind, w, h, crop in entries:
    source = name[:-len("-crop")] if crop else name
    with open(os.path.join(rtfs, name + "-source.rtf"), "w") as out:
        out.write(rtf(os.path.join(pics, source + ".src"), kind, w, h, crop))
    with open(os.path.join(rtfs, name + "-ours.rtf"), "w") as out:
        out.write(rtf(os.path.join(pics, name + ".emf"), "EMF", w, h))

documents = sorted(glob.glob(os.path.join(rtfs, "*.rtf")))
for start in range(0, len(documents), 50):
    subprocess.run(["timeout", "600", "soffice", f"-env:UserInstallation=file://{os.path.abspath(work)}/lo-profile",
                    "--headless", "--convert-to", "pdf", "--outdir", pdfs] + documents[start:start + 50],
                   capture_output=True)


def pages(stem):
    pdf = os.path.join(pdfs, stem + ".pdf")
    if not os.path.exists(pdf):
        return None
    prefix = os.path.join(pdfs, stem)
    subprocess.run(["pdftoppm", "-r", str(dpi), "-gray", pdf, prefix], capture_output=True)
    found = sorted(glob.glob(prefix + "-*.pgm"))
    return [np.asarray(Image.open(p), dtype=np.float32) for p in found]


def worst_tile(x, y):
    h, w = x.shape
    best = None
    for dy in range(-slack, slack + 1):
        for dx in range(-slack, slack + 1):
            d = np.abs(x - np.roll(y, (dy, dx), axis=(0, 1)))[: h - h % tile, : w - w % tile]
            m = d.reshape(h // tile, tile, w // tile, tile).mean(axis=(1, 3))
            best = m if best is None else np.minimum(best, m)
    return float(best.max()) if best.size else 0.0


differ, mended, worst_seen = list(failed), [], []
for name, kind, w, h, _ in entries:
    a, b = pages(name + "-source"), pages(name + "-ours")
    if a is None or b is None:
        differ.append(f"{name}: LibreOffice did not convert the {'source' if a is None else 'our'} page")
        continue
    if len(a) != len(b) or any(x.shape != y.shape for x, y in zip(a, b)):
        differ.append(f"{name}: pages {len(a)} -> {len(b)}")
        continue
    score = max((worst_tile(x, y) for x, y in zip(a, b)), default=0.0)
    if kind.endswith("-mended"):
        mended.append(f"{name}: alpha-blended icons mended, a tile differs by {score:.0f}/255")
        continue
    worst_seen.append(score)
    if score > limit:
        differ.append(f"{name} ({kind}, {w}x{h} px): a tile differs by {score:.0f}/255")

for line in mended + differ:
    print(line)
compared = len(entries) + len(failed) - len(mended)
print(f"{compared} metafiles: {compared - len(differ)} drawn alike by LibreOffice, {len(differ)} differ "
      f"({len(mended)} mended EMFs apart); "
      f"worst tile {max(worst_seen, default=0):.0f}/255, median {float(np.median(worst_seen)) if worst_seen else 0:.0f}/255")
sys.exit(1 if differ else 0)
