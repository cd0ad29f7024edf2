#!/usr/bin/env python3
"""Builds the test documents under tests/data/generated/.

Each document is first written as a flat OpenDocument text (.fodt) with its pictures
embedded as base64, then LibreOffice converts it to Word 97-2003 (.doc) and to RTF.
The pictures are made here: gradients with noise, so that they look like photographs
to a compressor and stay well above the 50 KB size at which pictures are worth
replacing.  Only the Python standard library is used.

Usage: scripts/generate-test-documents.py [--outdir DIR] [--fodt-only] [--only STEM ...]
"""

import argparse
import base64
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

# ---------------------------------------------------------------------------
# Pictures


def _png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def noisy_png(width, height, seed, alpha=False, amplitude=8, colour_noise=False):
    """A photo-like PNG: colour gradients plus noise (Sub filter rows).

    With colour_noise every channel gets its own noise, which makes a small picture
    compress badly enough to stay above the replacement threshold."""
    rnd = random.Random(seed)
    channels = 4 if alpha else 3
    rows = []
    for y in range(height):
        raw = bytearray()
        for x in range(width):
            n = rnd.randrange(amplitude)
            m = rnd.randrange(amplitude) if colour_noise else n
            k = rnd.randrange(amplitude) if colour_noise else n
            px = [(x * 255 // width + n) & 255,
                  (y * 255 // height + m) & 255,
                  ((x + y) * 128 // (width + height) + 64 + k) & 255]
            if alpha:
                # Opaque on the left, fading to fully transparent on the right.
                px.append(255 - (x * 255 // width))
            raw += bytes(px)
        row = bytearray([1]) + raw[:channels]
        row += bytes((raw[i] - raw[i - channels]) & 255 for i in range(channels, len(raw)))
        rows.append(bytes(row))
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header)
            + _png_chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + _png_chunk(b"IEND", b""))


def flat_png(width, height, rgb):
    """A small single-colour PNG (compresses to a few hundred bytes)."""
    row = b"\x00" + bytes(rgb) * width
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header)
            + _png_chunk(b"IDAT", zlib.compress(row * height, 9))
            + _png_chunk(b"IEND", b""))


# ---------------------------------------------------------------------------
# Flat ODF text

NAMESPACES = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
    "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
    "xlink": "http://www.w3.org/1999/xlink",
    "svg": "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0",
    "chart": "urn:oasis:names:tc:opendocument:xmlns:chart:1.0",
    "number": "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0",
    "loext": "urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0",
    "dc": "http://purl.org/dc/elements/1.1/",
}

GRAPHIC_STYLES = """
  <style:style style:name="frInline" style:family="graphic" style:parent-style-name="Graphics">
   <style:graphic-properties style:vertical-pos="top" style:vertical-rel="baseline"/>
  </style:style>
  <style:style style:name="frSquare" style:family="graphic" style:parent-style-name="Graphics">
   <style:graphic-properties style:wrap="parallel" style:number-wrapped-paragraphs="no-limit"
     fo:margin-left="0.3cm" fo:margin-right="0.3cm" fo:margin-top="0.1cm" fo:margin-bottom="0.1cm"
     style:horizontal-pos="from-left" style:horizontal-rel="paragraph"
     style:vertical-pos="from-top" style:vertical-rel="paragraph"/>
  </style:style>
  <style:style style:name="frBehind" style:family="graphic" style:parent-style-name="Graphics">
   <style:graphic-properties style:wrap="run-through" style:run-through="background"
     style:horizontal-pos="from-left" style:horizontal-rel="page"
     style:vertical-pos="from-top" style:vertical-rel="page"/>
  </style:style>
  <style:style style:name="frTopBottom" style:family="graphic" style:parent-style-name="Graphics">
   <style:graphic-properties style:wrap="none" style:horizontal-pos="center"
     style:horizontal-rel="paragraph" style:vertical-pos="top" style:vertical-rel="paragraph"/>
  </style:style>
  <style:style style:name="frBox" style:family="graphic" style:parent-style-name="Frame">
   <style:graphic-properties style:wrap="parallel" fo:border="0.5pt solid #000000"
     fo:padding="0.1cm" style:horizontal-pos="from-left" style:horizontal-rel="paragraph"
     style:vertical-pos="from-top" style:vertical-rel="paragraph"/>
  </style:style>
  <style:style style:name="frFrame" style:family="graphic" style:parent-style-name="Frame">
   <style:graphic-properties style:wrap="parallel" fo:margin-left="0.2cm" fo:margin-right="0.2cm"
     style:horizontal-pos="from-left" style:horizontal-rel="paragraph"
     style:vertical-pos="from-top" style:vertical-rel="paragraph"/>
  </style:style>
  <style:style style:name="grShape" style:family="graphic">
   <style:graphic-properties draw:stroke="none" draw:fill="none" style:wrap="parallel"
     style:horizontal-pos="from-left" style:horizontal-rel="paragraph"
     style:vertical-pos="from-top" style:vertical-rel="paragraph"/>
  </style:style>
  <style:style style:name="PBreak" style:family="paragraph">
   <style:paragraph-properties fo:break-before="page"/>
  </style:style>
"""


def document(body, extra_styles="", header=None):
    ns = " ".join('xmlns:%s="%s"' % kv for kv in NAMESPACES.items())
    master = ""
    if header is not None:
        master = (' <office:master-styles><style:master-page style:name="Standard" '
                  'style:page-layout-name="pm1"><style:header>%s</style:header></style:master-page>'
                  '</office:master-styles>\n' % header)
        extra_styles += ('<style:page-layout style:name="pm1"><style:page-layout-properties '
                         'fo:page-width="21cm" fo:page-height="29.7cm" fo:margin-top="2cm" '
                         'fo:margin-bottom="2cm" fo:margin-left="2cm" fo:margin-right="2cm"/>'
                         '<style:header-style><style:header-footer-properties fo:min-height="0.5cm"/>'
                         '</style:header-style></style:page-layout>')
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<office:document %s office:version="1.3" '
            'office:mimetype="application/vnd.oasis.opendocument.text">\n'
            ' <office:font-face-decls/>\n'
            ' <office:styles>\n'
            '  <style:style style:name="Graphics" style:family="graphic"/>\n'
            '  <style:style style:name="Frame" style:family="graphic">'
            '<style:graphic-properties text:anchor-type="paragraph"/></style:style>\n'
            ' </office:styles>\n'
            ' <office:automatic-styles>%s%s </office:automatic-styles>\n%s'
            ' <office:body><office:text>\n%s\n </office:text></office:body>\n'
            '</office:document>\n') % (ns, GRAPHIC_STYLES, extra_styles, master, body)


def image(data, mime="image/png"):
    return ('<draw:image draw:mime-type="%s"><office:binary-data>%s</office:binary-data>'
            '</draw:image>' % (mime, base64.b64encode(data).decode("ascii")))


def inline_frame(name, data, width_cm, height_cm):
    return ('<draw:frame draw:style-name="frInline" draw:name="%s" text:anchor-type="as-char" '
            'svg:width="%.2fcm" svg:height="%.2fcm" draw:z-index="0">%s</draw:frame>'
            % (name, width_cm, height_cm, image(data)))


def floating_frame(name, data, style, x_cm, y_cm, width_cm, height_cm, z, rotate_deg=0.0,
                   anchor="paragraph"):
    transform = ""
    geometry = 'svg:x="%.2fcm" svg:y="%.2fcm"' % (x_cm, y_cm)
    if rotate_deg:
        import math
        angle = math.radians(rotate_deg)
        transform = (' draw:transform="rotate (%.6f) translate (%.2fcm %.2fcm)"'
                     % (angle, x_cm, y_cm + width_cm * math.sin(angle)))
        geometry = ""
    return ('<draw:frame draw:style-name="%s" draw:name="%s" text:anchor-type="%s" %s '
            'svg:width="%.2fcm" svg:height="%.2fcm" draw:z-index="%d"%s>%s</draw:frame>'
            % (style, name, anchor, geometry, width_cm, height_cm, z, transform, image(data)))


LOREM = ("Kelvaran test paragraph with enough words to wrap around a floating picture. "
         "The quick brown fox jumps over the lazy dog while the text flows on and on. ")


def para(text, style=None):
    attr = ' text:style-name="%s"' % style if style else ""
    return "<text:p%s>%s</text:p>" % (attr, text)


# ---------------------------------------------------------------------------
# Embedded objects (inline office documents with a replacement picture)


def spreadsheet_object(name, replacement):
    cells = "".join(
        '<table:table-row>%s</table:table-row>' % "".join(
            '<table:table-cell office:value-type="float" office:value="%d">'
            '<text:p>%d</text:p></table:table-cell>' % (r * 10 + c, r * 10 + c)
            for c in range(4))
        for r in range(5))
    ns = " ".join('xmlns:%s="%s"' % kv for kv in NAMESPACES.items())
    return ('<draw:frame draw:style-name="frInline" draw:name="%s" text:anchor-type="as-char" '
            'svg:width="8cm" svg:height="4cm">'
            '<draw:object><office:document %s office:version="1.3" '
            'office:mimetype="application/vnd.oasis.opendocument.spreadsheet">'
            '<office:body><office:spreadsheet><table:table table:name="Sheet1">'
            '<table:table-column table:number-columns-repeated="4"/>%s</table:table>'
            '</office:spreadsheet></office:body></office:document></draw:object>%s</draw:frame>'
            % (name, ns, cells, image(replacement)))


def chart_object(name, replacement):
    ns = " ".join('xmlns:%s="%s"' % kv for kv in NAMESPACES.items())
    rows = "".join(
        '<table:table-row><table:table-cell office:value-type="string"><text:p>R%d</text:p>'
        '</table:table-cell><table:table-cell office:value-type="float" office:value="%d">'
        '<text:p>%d</text:p></table:table-cell></table:table-row>' % (i, v, v)
        for i, v in enumerate((3, 7, 5, 9), 1))
    return ('<draw:frame draw:style-name="frInline" draw:name="%s" text:anchor-type="as-char" '
            'svg:width="8cm" svg:height="5cm">'
            '<draw:object><office:document %s office:version="1.3" '
            'office:mimetype="application/vnd.oasis.opendocument.chart">'
            '<office:body><office:chart><chart:chart svg:width="8cm" svg:height="5cm" '
            'chart:class="chart:bar">'
            '<chart:plot-area table:cell-range-address="local-table.$A$1:.$B$5" '
            'chart:data-source-has-labels="both">'
            '<chart:axis chart:dimension="x" chart:name="primary-x"/>'
            '<chart:axis chart:dimension="y" chart:name="primary-y"/>'
            '<chart:series chart:values-cell-range-address="local-table.$B$2:.$B$5" '
            'chart:class="chart:bar"><chart:data-point chart:repeated="4"/></chart:series>'
            '</chart:plot-area>'
            '<table:table table:name="local-table"><table:table-header-columns>'
            '<table:table-column/></table:table-header-columns><table:table-columns>'
            '<table:table-column/></table:table-columns><table:table-header-rows>'
            '<table:table-row><table:table-cell/><table:table-cell office:value-type="string">'
            '<text:p>Values</text:p></table:table-cell></table:table-row>'
            '</table:table-header-rows><table:table-rows>%s</table:table-rows></table:table>'
            '</chart:chart></office:chart></office:body></office:document></draw:object>%s'
            '</draw:frame>' % (name, ns, rows, image(replacement)))


# ---------------------------------------------------------------------------
# The documents


def build_documents():
    big = lambda seed: noisy_png(200, 150, seed, amplitude=20, colour_noise=True)  # ~55 KB
    docs = {}

    docs["gen-inline-pictures"] = (
        "Two large inline PNG pictures (200x150 noise, 55 KB each, shown 6x4.5 cm and "
        "4x3 cm) and one small inline PNG (flat colour, under 1 KB)",
        document("\n".join([
            para("Inline pictures follow."),
            para("First " + inline_frame("InlineBig1", big(1), 6.0, 4.5) + " after."),
            para("Second " + inline_frame("InlineBig2", big(2), 4.0, 3.0) + " and small "
                 + inline_frame("InlineSmall", flat_png(40, 30, (200, 30, 30)), 1.0, 0.75)),
            para("End of document."),
        ])))

    docs["gen-floating-rotated-wrapped"] = (
        "One floating PNG with square wrapping rotated by 30 degrees (55 KB), one floating "
        "PNG behind the text relative to the page (55 KB), one small floating PNG with "
        "top-and-bottom wrapping",
        document("\n".join([
            para(floating_frame("FloatRotated", big(3), "frSquare", 2.0, 0.5, 5.0, 3.75, 1,
                                rotate_deg=30.0) + LOREM * 3),
            para(floating_frame("FloatBehind", big(4), "frBehind", 3.0, 12.0, 6.0, 4.5, 0)
                 + LOREM * 2),
            para(floating_frame("FloatSmall", flat_png(40, 30, (30, 160, 30)), "frTopBottom",
                                0.0, 0.0, 2.0, 1.5, 2) + LOREM),
        ])))

    text_box = ('<draw:frame draw:style-name="frBox" draw:name="TextBox1" '
                'text:anchor-type="paragraph" svg:x="1cm" svg:y="0.5cm" svg:width="8cm" '
                'svg:height="5cm" draw:z-index="0"><draw:text-box>%s%s</draw:text-box>'
                '</draw:frame>') % (
                    para("Text inside the box."),
                    para(inline_frame("BoxPicture", big(5), 5.0, 3.75)))
    docs["gen-textbox-picture"] = (
        "A text box (frame with text) holding a text paragraph and an inline PNG (55 KB)",
        document("\n".join([para(text_box + LOREM * 2), para("After the box.")])))

    framed = ('<draw:frame draw:style-name="frFrame" draw:name="Frame1" '
              'text:anchor-type="paragraph" svg:x="9cm" svg:y="0cm" svg:width="6cm" '
              'svg:height="4.5cm" draw:z-index="0"><draw:text-box>%s</draw:text-box></draw:frame>') % (
                  para(inline_frame("FramePicture", big(6), 5.0, 3.75) + " Caption"))
    docs["gen-frame-picture"] = (
        "A positioned frame at 9 cm from the paragraph's left edge holding an inline PNG "
        "(55 KB) and the word Caption",
        document("\n".join([para(framed + LOREM * 3), para("After the frame.")])))

    group = ('<draw:g draw:style-name="grShape" draw:name="Group1" text:anchor-type="paragraph" '
             'draw:z-index="0">%s%s</draw:g>') % (
                 floating_frame("GroupPic1", big(7), "grShape", 1.0, 1.0, 4.0, 3.0, 0),
                 floating_frame("GroupPic2", flat_png(60, 40, (30, 30, 200)), "grShape",
                                5.5, 1.0, 3.0, 2.0, 1))
    docs["gen-group-pictures"] = (
        "A group of two floating pictures: one PNG of 55 KB and one small PNG",
        document("\n".join([para(group + LOREM * 3), para("After the group.")])))

    # Named as Word names its shapes, so that the walk takes the members for
    # pictures; the inner group is taken apart in turn.
    inner = ('<draw:g draw:style-name="grShape" draw:name="Group 2">%s%s</draw:g>') % (
        floating_frame("Picture 2", big(9), "grShape", 5.5, 1.0, 4.0, 3.0, 1),
        floating_frame("Picture 3", flat_png(60, 40, (200, 30, 30)), "grShape", 10.0, 1.0, 3.0, 2.0, 2))
    nested = ('<draw:g draw:style-name="grShape" draw:name="Group 1" text:anchor-type="paragraph" '
              'draw:z-index="0">%s%s</draw:g>') % (
                  floating_frame("Picture 1", big(8), "grShape", 1.0, 1.0, 4.0, 3.0, 0), inner)
    docs["gen-nested-group-pictures"] = (
        "A group named as Word names it: a PNG of 55 KB and an inner group of a second "
        "55 KB PNG and a small PNG",
        document("\n".join([para(nested + LOREM * 3), para("After the groups.")])))

    docs["gen-embedded-objects"] = (
        "An embedded spreadsheet (5x4 numbers) and an embedded bar chart, both inline, "
        "with PNG replacement pictures",
        document("\n".join([
            para("Spreadsheet: " + spreadsheet_object("Sheet", noisy_png(160, 80, 8, amplitude=4))),
            para("Chart: " + chart_object("Chart", noisy_png(160, 100, 9, amplitude=4))),
            para("End."),
        ])))

    # Every kind of position a converted object's field moves: a bookmark, a
    # footnote, an endnote, a comment, a hyperlink field, a text box (with an
    # object of its own) and a header with a field.
    note = lambda kind, n, text: (
        '<text:note text:id="%s%d" text:note-class="%s"><text:note-citation>%d</text:note-citation>'
        '<text:note-body>%s</text:note-body></text:note>' % (kind, n, kind, n, para(text)))
    comment = ('<office:annotation><dc:creator>Kelvaran</dc:creator>%s</office:annotation>'
               % para("A comment on the text after the object."))
    boxed = ('<draw:frame draw:style-name="frBox" draw:name="TextBox1" '
             'text:anchor-type="paragraph" svg:x="9cm" svg:y="0cm" svg:width="8cm" '
             'svg:height="5cm" draw:z-index="0"><draw:text-box>%s%s</draw:text-box>'
             '</draw:frame>') % (
                 para("In the box: " + spreadsheet_object("BoxSheet", noisy_png(120, 60, 15, amplitude=4))),
                 para('Box <text:a xlink:type="simple" xlink:href="https://example.org/box">link</text:a> end.'))
    docs["gen-object-among-positions"] = (
        "An embedded spreadsheet in the body followed by a bookmark, a footnote, a comment, a "
        "hyperlink and an endnote; a text box holding a second spreadsheet; a header with a "
        "page number field",
        document("\n".join([
            para('Before <text:bookmark-start text:name="Around"/>the object'),
            para("Object: " + spreadsheet_object("Sheet", noisy_png(160, 80, 14, amplitude=4))
                 + ' after<text:bookmark-end text:name="Around"/>' + note("ftn", 1, "Footnote text.")
                 + " and " + comment + 'a <text:a xlink:type="simple" xlink:href="https://example.org/">'
                 'link</text:a>.'),
            para(boxed + LOREM),
            para('<text:bookmark text:name="Later"/>Later text' + note("edn", 1, "Endnote text.")),
        ]), header=para("Header <text:page-number>1</text:page-number>")))

    docs["gen-transparent-png"] = (
        "An inline RGBA PNG (180x135, alpha fading left to right, about 60 KB)",
        document(para("Transparent: "
                      + inline_frame("Alpha", noisy_png(180, 135, 10, alpha=True, amplitude=20, colour_noise=True), 6.0, 4.5))))

    japanese = "日本語のテキストです。画像を小さくします。ｶﾀｶﾅも含みます。"
    docs["gen-japanese-text"] = (
        "Japanese paragraphs (kanji, kana, half-width katakana) around one inline PNG (55 KB)",
        document("\n".join([
            para(japanese),
            para("図 " + inline_frame("図1", big(11), 5.0, 3.75) + " です。"),
            para(japanese * 2),
        ])))

    docs["gen-page-breaks"] = (
        "Three pages separated by page breaks; an inline PNG (55 KB) on the first page "
        "and one on the third",
        document("\n".join([
            para("Page one " + inline_frame("P1", big(12), 4.0, 3.0)),
            para("Page two", "PBreak"),
            para("Page three " + inline_frame("P3", big(13), 4.0, 3.0), "PBreak"),
        ])))

    docs["gen-text-only"] = (
        "Two paragraphs of text, no pictures",
        document("\n".join([para("Plain text only."), para(LOREM)])))

    # Written as RTF, the way Word writes shapes, and saved as .doc by
    # LibreOffice: the floating shape then carries the name LibreOffice gave
    # it ("Shape1"), not a name that tells its kind.
    photos = [big(20 + k) for k in range(4)]
    docs["gen-rtf-rotated-floating-photo"] = RtfSource(
        "From RTF: three inline PNG photos (55 KB each) and one floating PNG photo (55 KB) "
        "rotated by 30 degrees with square wrapping",
        rtf_document("".join("Photo %d: %s\\par\n" % (k + 1, rtf_pict(photos[k], 3000, 2250))
                             for k in range(3))
                     + rtf_shape(photos[3], 1134, 567, 4535, 3118, rotation=30)
                     + (LOREM + " ") * 2 + "\\par\n"))
    return docs


class RtfSource(tuple):
    """A document written as RTF: (description, rtf text)."""

    def __new__(cls, description, rtf):
        return super().__new__(cls, (description, rtf))


def rtf_pict(data, width_twips, height_twips):
    return "{\\pict\\pngblip\\picwgoal%d\\pichgoal%d %s}" % (width_twips, height_twips, data.hex())


def rtf_shape(data, left, top, right, bottom, rotation=0):
    """A floating picture shape anchored to the paragraph, square wrapping."""
    props = "{\\sp{\\sn shapeType}{\\sv 75}}"
    if rotation:
        props += "{\\sp{\\sn rotation}{\\sv %d}}" % (rotation * 65536)
    props += "{\\sp{\\sn pib}{\\sv %s}}" % rtf_pict(data, right - left, bottom - top)
    return ("{\\shp{\\*\\shpinst\\shpleft%d\\shptop%d\\shpright%d\\shpbottom%d\\shpfhdr0"
            "\\shpbxcolumn\\shpbxignore\\shpbypara\\shpbyignore\\shpwr2\\shpwrk0\\shpfblwtxt0"
            "\\shpz0\\shplid1025%s}}" % (left, top, right, bottom, props))


def rtf_document(body):
    return ("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\f0\\fs24\n" + body + "}\n")


def convert(soffice, source, outdir, target, profile):
    subprocess.run([soffice, "--headless", "-env:UserInstallation=file://" + profile,
                    "--convert-to", target, "--outdir", outdir, source],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--outdir", default=os.path.join(here, "..", "tests", "data", "generated"))
    parser.add_argument("--fodt-only", action="store_true")
    parser.add_argument("--profile", default="/tmp/kelvaran-lo-profile")
    parser.add_argument("--only", nargs="+", metavar="STEM",
                        help="make only these documents (the README still lists all)")
    args = parser.parse_args()
    outdir = os.path.abspath(args.outdir)
    os.makedirs(outdir, exist_ok=True)

    soffice = shutil.which("soffice")
    docs = build_documents()
    lines = ["# Generated test documents", "",
             "Made by scripts/generate-test-documents.py (flat ODF written by the script, then",
             "converted by LibreOffice to .doc and .rtf; for gen-rtf-* the script writes the RTF and",
             "LibreOffice makes the .doc). Do not edit by hand; run the script.", "",
             "| stem | contents |", "|---|---|"]
    with tempfile.TemporaryDirectory() as work:
        for stem, (description, xml) in sorted(docs.items()):
            lines.append("| %s | %s |" % (stem, description))
            if isinstance(docs[stem], RtfSource):
                # The RTF is the source; LibreOffice makes the .doc from it.
                rtf = os.path.join(outdir, stem + ".rtf")
                with open(rtf, "w", encoding="ascii") as f:
                    f.write(xml)
                if args.fodt_only or (args.only and stem not in args.only):
                    continue
                if not soffice:
                    sys.exit("soffice not found: install LibreOffice or use --fodt-only")
                convert(soffice, rtf, outdir, 'doc:MS Word 97', args.profile)
                if not os.path.exists(os.path.join(outdir, stem + ".doc")):
                    sys.exit("conversion of %s to .doc failed" % stem)
                continue
            fodt = os.path.join(work if not args.fodt_only else outdir, stem + ".fodt")
            with open(fodt, "w", encoding="utf-8") as f:
                f.write(xml)
            if args.fodt_only or (args.only and stem not in args.only):
                continue
            if not soffice:
                sys.exit("soffice not found: install LibreOffice or use --fodt-only")
            convert(soffice, fodt, outdir, 'doc:MS Word 97', args.profile)
            convert(soffice, fodt, outdir, "rtf", args.profile)
            for ext in (".doc", ".rtf"):
                if not os.path.exists(os.path.join(outdir, stem + ext)):
                    sys.exit("conversion of %s to %s failed" % (stem, ext))
    with open(os.path.join(outdir, "README.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
