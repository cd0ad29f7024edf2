#!/usr/bin/env python3
"""Builds data/samples/sample.doc and data/samples/sample.rtf.

The pictures and the flat ODF come from scripts/generate-test-documents.py;
LibreOffice converts the document to Word 97-2003 and to RTF.  LibreOffice's
RTF carries every picture twice, as PNG and as a fallback metafile for old
readers ({\\nonshppict ...}); the fallback is dropped here so that the sample
stays small.  Word reads the PNG of {\\*\\shppict ...}.

Usage: data/samples/make-samples.py   (needs soffice on the PATH)
"""

import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", ".."))


def load_generator():
    path = os.path.join(TOP, "scripts", "generate-test-documents.py")
    spec = importlib.util.spec_from_file_location("generate_test_documents", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def sample_document(gen):
    photo = gen.noisy_png(220, 165, 42, amplitude=20, colour_noise=True)  # about 70 KB
    small = gen.flat_png(40, 30, (40, 90, 200))
    return gen.document("\n".join([
        gen.para("Kelvaran sample document / ケルヴァランのサンプル文書"),
        gen.para("A photo-like picture follows: "
                 + gen.inline_frame("Photo", photo, 7.0, 5.25) + " and a small one "
                 + gen.inline_frame("Icon", small, 1.0, 0.75) + "."),
        gen.para("日本語の段落です。画像を小さくして文書を軽くします。ｶﾀｶﾅも含みます。"),
        gen.para(gen.LOREM * 2),
    ]))


def drop_group(rtf, marker):
    """Removes every group that starts with `marker` (brace-balanced)."""
    out = []
    i = 0
    while True:
        j = rtf.find(marker, i)
        if j < 0:
            out.append(rtf[i:])
            return "".join(out)
        out.append(rtf[i:j])
        depth = 0
        k = j
        while k < len(rtf):
            c = rtf[k]
            if c == "\\":
                k += 2
                continue
            if c == "{":
                depth += 1
            elif c == "}":
                depth -= 1
                if depth == 0:
                    break
            k += 1
        i = k + 1


def main():
    gen = load_generator()
    soffice = shutil.which("soffice")
    if not soffice:
        sys.exit("soffice not found: install LibreOffice")
    with tempfile.TemporaryDirectory() as work:
        fodt = os.path.join(work, "sample.fodt")
        with open(fodt, "w", encoding="utf-8") as f:
            f.write(sample_document(gen))
        profile = os.path.join(work, "profile")
        gen.convert(soffice, fodt, work, "doc:MS Word 97", profile)
        gen.convert(soffice, fodt, work, "rtf", profile)
        shutil.copyfile(os.path.join(work, "sample.doc"), os.path.join(HERE, "sample.doc"))
        with open(os.path.join(work, "sample.rtf"), encoding="latin-1", newline="") as f:
            rtf = f.read()
        for marker in ("{\\*\\nonshppict", "{\\nonshppict"):
            rtf = drop_group(rtf, marker)
        with open(os.path.join(HERE, "sample.rtf"), "w", encoding="latin-1", newline="") as f:
            f.write(rtf)
    for name in ("sample.doc", "sample.rtf"):
        print(name, os.path.getsize(os.path.join(HERE, name)), "bytes")


if __name__ == "__main__":
    main()
