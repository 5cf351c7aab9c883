#!/usr/bin/env python3
"""Parses an SWF file with yaswfp (a parser written elsewhere) and prints one
line per tag. Exits 1 when the parser fails on any tag or the frame count
disagrees with the ShowFrame tags."""
import sys

import yaswfp.swfparser as sp


def signed(value, bits):
    if not bits:
        return 0
    if bits and value >> (bits - 1) & 1:
        return value - (1 << bits)
    return value


def main(path):
    sp.SWFParser.unknown_alert = False
    with open(path, "rb") as f:
        swf = sp.SWFParser(f)
    h = swf.header
    print("HEADER %s version=%d frames=%d rate=%d size=%s" % (
        h.Signature, h.Version, h.FrameCount, h.FrameRate >> 8, list(h.FrameSize)))
    ok = True
    frames = 0
    for tag in swf.tags:
        kind = type(tag).__name__
        if kind == "FailingObject":
            print("FAILED %s" % tag.name)
            ok = False
            continue
        name = tag.name
        if name == "ShowFrame":
            frames += 1
        line = "TAG %s" % name
        if name == "PlaceObject2":
            line += " depth=%d" % tag.Depth
            if tag.PlaceFlagHasCharacter:
                line += " char=%d" % tag.CharacterId
            if tag.PlaceFlagMove:
                line += " move"
            if tag.PlaceFlagHasMatrix:
                m = tag.Matrix
                line += " tx=%d ty=%d" % (signed(m.TranslateX, m.NTranslateBits),
                                          signed(m.TranslateY, m.NTranslateBits))
        elif name == "RemoveObject2":
            line += " depth=%d" % tag.Depth
        elif name in ("DefineFont2", "DefineFont3"):
            line += " name=%s codes=%s" % (tag.FontName, "".join(chr(c) for c in tag.CodeTable))
        elif name in ("DefineText", "DefineText2"):
            glyphs = sum(r.GlyphCount for r in tag.TextRecords)
            line += " glyphs=%d id=%d" % (glyphs, tag.CharacterID)
        elif name in ("DefineShape", "DefineShape3"):
            line += " id=%d fills=%d lines=%d" % (tag.ShapeId, len(tag.Shapes.FillStyles.FillStyles),
                                                 len(tag.Shapes.LineStyles.LineStyles))
        elif name == "DefineBitsJPEG2":
            line += " id=%d" % tag.CharacterID
        elif name == "DoAction":
            line += " " + ",".join(type(a).name for a in tag.Actions)
        elif name == "SetBackgroundColor":
            line += " %s" % tag.BackgroundColor
        print(line)
    if frames != h.FrameCount:
        print("FAILED frame count %d, ShowFrame tags %d" % (h.FrameCount, frames))
        ok = False
    print("OK" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
