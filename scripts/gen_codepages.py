#!/usr/bin/env python3
"""Generates the code-page tables of base/codepages.cpp as C++ source.

Usage: scripts/gen_codepages.py OUTPUT.cpp

Sources: Python's codecs for most pages, glibc's iconv (through ctypes) for
IBM 870 and CNS 11643, and the explicit corrections below that make the
tables equal to the Windows tables where those differ from the codecs:
undefined bytes, the private-use characters Windows gives to some of them,
and the user-defined areas of the double-byte pages, which Windows maps to
consecutive private-use characters.
"""
import codecs
import ctypes
import sys

QUESTION = 0x3F
UNASSIGNED = 0xFFFD
LEAD = 0xFFFF

# ---- Single-byte pages --------------------------------------------------------

SINGLE_BYTE = {
    37: "cp037", 437: "cp437", 500: "cp500", 737: "cp737", 850: "cp850",
    852: "cp852", 855: "cp855", 857: "cp857", 858: "cp858", 862: "cp862",
    866: "cp866", 870: None, 1250: "cp1250", 1251: "cp1251", 1252: "cp1252",
    1254: "cp1254", 1255: "cp1255", 1256: "cp1256", 10007: "mac_cyrillic",
    10029: "mac_latin2", 20866: "koi8_r", 21866: "koi8_u", 28592: "iso8859_2",
    28593: "iso8859_3", 28595: "iso8859_5", 28596: "iso8859_6",
    28597: "iso8859_7", 28598: "iso8859_8", 28599: "iso8859_9",
    28605: "iso8859_15",
}

# What a byte the codec leaves undefined becomes.
UNDEFINED_AS_QUESTION = {1250, 1251, 1255}
UNDEFINED_AS_BYTE = {1252, 1254}

# Windows gives these bytes consecutive private-use characters, in ascending
# byte order from the first value (its table predates some later additions).
PRIVATE_USE = {
    857: (0xF8BB, [0xD5, 0xE7, 0xF2]),
    28593: (0xF7F5, [0xA5, 0xAE, 0xBE, 0xC3, 0xD0, 0xE3, 0xF0]),
    28596: (0xF7C8, [0xA1, 0xA2, 0xA3] + list(range(0xA5, 0xAC)) + list(range(0xAE, 0xBB))
            + [0xBC, 0xBD, 0xBE, 0xC0] + list(range(0xDB, 0xE0)) + list(range(0xF3, 0x100))),
    28597: (0xF7C2, [0xA4, 0xA5, 0xAA, 0xAE, 0xD2, 0xFF]),
    28598: (0xF79C, [0xA1] + list(range(0xBF, 0xDF)) + list(range(0xFB, 0x100))),
}

# Single corrections where the Windows table differs from the codec, and the
# system's own choices for 1256 0xFF.
OVERRIDES = {
    1255: {0xCA: 0x05BA},
    1256: {0xFF: 0x00FF},
    10007: {0xA2: 0x00A2, 0xB6: 0x2202, 0xFF: 0x00A4},
    21866: {0xAE: 0x045E, 0xBE: 0x040E},
    28597: {0xA1: 0x02BD, 0xA2: 0x02BC},
    28598: {0xAF: 0x203E},
}

# Code page 437's graphic symbols for 0x01..0x1F.
CP437_GLYPHS = [
    0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6,
    0x00A7, 0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2,
    0x25BC,
]


class Iconv:
    """One-character-at-a-time decoding through glibc's iconv."""

    def __init__(self, name):
        self.libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.libc.iconv_open.restype = ctypes.c_void_p
        self.libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
        self.libc.iconv.restype = ctypes.c_size_t
        self.handle = self.libc.iconv_open(b"UTF-16LE", name.encode())
        if self.handle in (None, ctypes.c_void_p(-1).value):
            raise SystemExit(f"iconv does not know {name}")

    def decode(self, data):
        """The one UTF-16 unit of data, or None."""
        self.libc.iconv(self.handle, None, None, None, None)  # reset the state
        inbuf = ctypes.create_string_buffer(data, len(data))
        outbuf = ctypes.create_string_buffer(16)
        inp = ctypes.c_char_p(ctypes.addressof(inbuf))
        outp = ctypes.c_char_p(ctypes.addressof(outbuf))
        inleft = ctypes.c_size_t(len(data))
        outleft = ctypes.c_size_t(16)
        r = self.libc.iconv(self.handle, ctypes.byref(inp), ctypes.byref(inleft),
                            ctypes.byref(outp), ctypes.byref(outleft))
        if r == ctypes.c_size_t(-1).value or inleft.value != 0 or outleft.value != 14:
            return None
        return int.from_bytes(outbuf.raw[:2], "little")


def decode_codec(data, codec):
    try:
        s = data.decode(codec)
    except UnicodeDecodeError:
        return None
    if len(s) != 1 or ord(s) > 0xFFFF:
        return None
    return ord(s)


def single_byte_table(cp, codec):
    conv = Iconv("IBM870") if codec is None else None
    table = []
    for b in range(256):
        u = conv.decode(bytes([b])) if conv else decode_codec(bytes([b]), codec)
        if u is None:
            if cp in UNDEFINED_AS_QUESTION:
                u = QUESTION
            elif cp in UNDEFINED_AS_BYTE:
                u = b
            elif cp not in PRIVATE_USE:
                raise SystemExit(f"code page {cp}: byte {b:#x} undefined")
        table.append(u)
    if cp in PRIVATE_USE:
        first, byte_list = PRIVATE_USE[cp]
        for k, b in enumerate(byte_list):
            table[b] = first + k
    for b, u in OVERRIDES.get(cp, {}).items():
        table[b] = u
    if cp == 437:
        table[1:0x20] = CP437_GLYPHS
    assert None not in table, cp
    return table


# ---- Double-byte pages --------------------------------------------------------

def trail_ok(cp, t):
    if cp == 932:
        return 0x40 <= t <= 0xFC and t != 0x7F
    if cp == 936:
        return 0x40 <= t <= 0xFE and t != 0x7F
    if cp == 949:
        return 0x41 <= t <= 0x5A or 0x61 <= t <= 0x7A or 0x81 <= t <= 0xFE
    return 0x40 <= t <= 0x7E or 0xA1 <= t <= 0xFE  # 950


def is_lead(cp, b):
    if cp == 932:
        return 0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC
    return 0x81 <= b <= 0xFE


DBCS = {932: "cp932", 936: "gbk", 949: "cp949", 950: "cp950"}

DBCS_SINGLE_OVERRIDES = {
    936: {0x80: 0x20AC, 0xFF: 0xF8F5},
    949: {0x80: 0x0080, 0xFF: 0xF8F7},
    950: {0x80: 0x0080, 0xFF: 0xF8F8},
}

# User-defined areas: (first pair, last pair, first private-use character,
# whether the codec's own characters in the span are replaced). Positions
# with a valid trail byte in the span, in byte order, take consecutive
# characters; unless `replace`, only those the codec leaves undefined.
DBCS_USER_AREAS = {
    936: [(0xA140, 0xA2A0, 0xE4C6, False), (0xA2AB, 0xA2FE, 0xE766, False),
          (0xA340, 0xA4A0, 0xE586, False), (0xA4F4, 0xA4FE, 0xE772, False),
          (0xA540, 0xA5A0, 0xE646, False), (0xA5F7, 0xA5FE, 0xE77D, False),
          (0xA640, 0xA6A0, 0xE6A6, False), (0xA6B9, 0xA6FE, 0xE785, False),
          (0xA740, 0xA7A0, 0xE706, False), (0xA7C2, 0xA9FE, 0xE7A0, False),
          (0xAAA1, 0xAFFE, 0xE000, False), (0xD7FA, 0xD7FE, 0xE810, False),
          (0xF8A1, 0xFDFE, 0xE234, False), (0xFE50, 0xFEA0, 0xE815, False),
          (0xFEA1, 0xFEFE, 0xE468, False)],
    949: [(0xC9A1, 0xC9FE, 0xE000, False), (0xFEA1, 0xFEFE, 0xE05E, False)],
    950: [(0x8140, 0x8DFE, 0xEEB8, False), (0x8E40, 0xA0FE, 0xE311, False),
          (0xC6A1, 0xC8FE, 0xF6B1, True), (0xFA40, 0xFEFE, 0xE000, False)],
}


def dbcs_tables(cp):
    codec = DBCS[cp]
    lead = []
    for b in range(256):
        if is_lead(cp, b):
            lead.append(LEAD)
        else:
            u = decode_codec(bytes([b]), codec)
            lead.append(QUESTION if u is None else u)
    for b, u in DBCS_SINGLE_OVERRIDES.get(cp, {}).items():
        lead[b] = u
    pairs = {}
    for l in range(256):
        if not is_lead(cp, l):
            continue
        for t in range(0x40, 0x100):
            if trail_ok(cp, t):
                u = decode_codec(bytes([l, t]), codec)
                if u is not None:
                    pairs[(l << 8) | t] = u
    for first, last, pua, replace in DBCS_USER_AREAS.get(cp, []):
        for code in range(first, last + 1):
            l, t = code >> 8, code & 0xFF
            if not trail_ok(cp, t) or (code in pairs and not replace):
                continue
            pairs[code] = pua
            pua += 1
    trails = {}
    for l in range(256):
        if lead[l] != LEAD:
            continue
        row = [pairs.get((l << 8) | t, QUESTION) for t in range(0x40, 0x100)]
        if any(u != QUESTION for u in row):
            trails[l] = row
    return lead, trails, pairs


# ---- 94 x 94 character sets ---------------------------------------------------

def blocks_mask(blocks):
    ok = [False] * 8836
    for lo, hi in blocks:
        for i in range(lo, hi + 1):
            ok[i] = True
    return ok


def sjis_of(row, col):
    r, c = row - 0x21, col - 0x21
    s1 = r // 2 + 0x81
    if s1 > 0x9F:
        s1 += 0x40
    if r % 2 == 0:
        s2 = c + 0x40
        if s2 >= 0x7F:
            s2 += 1
    else:
        s2 = c + 0x9F
    return bytes([s1, s2])


def set_table(blocks, value_of, extra=()):
    ok = blocks_mask(blocks)
    for i in extra:
        ok[i] = True
    table = []
    for i in range(8836):
        u = value_of(0x21 + i // 94, 0x21 + i % 94) if ok[i] else None
        table.append(UNASSIGNED if u is None else u)
    return table


def ninety_four_sets(pairs936, pairs949):
    def jis0208(row, col):
        if decode_codec(bytes([row | 0x80, col | 0x80]), "euc_jp") is None:
            return None
        return decode_codec(sjis_of(row, col), "cp932")

    def jis0212(row, col):
        return decode_codec(bytes([0x8F, row | 0x80, col | 0x80]), "euc_jp")

    def from_pairs(pairs, check_codec, accept=()):
        def value(row, col):
            code = ((row | 0x80) << 8) | (col | 0x80)
            if code not in accept and decode_codec(bytes([row | 0x80, col | 0x80]), check_codec) is None:
                return None
            return pairs.get(code)
        return value

    # Python's euc_kr decoder takes A4 D4, the Hangul filler, as the start of
    # an eight-byte composed syllable and refuses it alone; in KS C 5601 it is
    # the character U+3164, as in code page 949.
    ksc_filler = (0xA4D4,)

    euc_tw = Iconv("EUC-TW")

    def cns1(row, col):
        return euc_tw.decode(bytes([row | 0x80, col | 0x80]))

    def cns2(row, col):
        return euc_tw.decode(bytes([0x8E, 0xA2, row | 0x80, col | 0x80]))

    return {
        "kJis0208": set_table([(0, 689), (1410, 7807)], jis0208),
        "kJis0212": set_table([(0, 174), (470, 657), (752, 1026), (1410, 7210)], jis0212),
        "kGb2312": set_table([(0, 830), (1410, 8177)], from_pairs(pairs936, "gb2312")),
        "kKsc5601": set_table([(0, 1114), (1410, 3759), (3854, 8741)], from_pairs(pairs949, "euc_kr", ksc_filler)),
        "kCns11643Plane1": set_table([(0, 499), (3102, 3135), (3290, 8690)], cns1, extra=(571, 578, 583)),
        "kCns11643Plane2": set_table([(0, 7649)], cns2),
    }


# ---- Output -------------------------------------------------------------------

def array(out, name, values, storage="const char16_t"):
    out.append(f"{storage} {name}[{len(values)}] = {{")
    for i in range(0, len(values), 16):
        out.append("    " + ", ".join(f"0x{v:04X}" for v in values[i:i + 16]) + ",")
    out.append("};")


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    out = ["// Generated by scripts/gen_codepages.py; do not edit.",
           '#include "base/codepage_tables.h"', "", "namespace tw::cp {", "namespace {"]
    singles = sorted(SINGLE_BYTE)
    for cp in singles:
        array(out, f"kSingle{cp}", single_byte_table(cp, SINGLE_BYTE[cp]))
    dbcs = {}
    for cp in sorted(DBCS):
        lead, trails, pairs = dbcs_tables(cp)
        dbcs[cp] = pairs
        array(out, f"kLead{cp}", lead)
        for l, row in sorted(trails.items()):
            array(out, f"kTrail{cp}_{l:02X}", row)
        out.append(f"const char16_t* const kTrails{cp}[256] = {{")
        names = [f"kTrail{cp}_{l:02X}" if l in trails else "nullptr" for l in range(256)]
        for i in range(0, 256, 8):
            out.append("    " + ", ".join(names[i:i + 8]) + ",")
        out.append("};")
    out.append("}  // namespace")
    out.append("")
    out.append(f"const SingleByteTable kSingleByteTables[{len(singles)}] = {{")
    for cp in singles:
        out.append(f"    {{{cp}, kSingle{cp}}},")
    out.append("};")
    out.append(f"const DbcsTable kDbcsTables[{len(DBCS)}] = {{")
    for cp in sorted(DBCS):
        out.append(f"    {{{cp}, kLead{cp}, kTrails{cp}}},")
    out.append("};")
    for name, table in ninety_four_sets(dbcs[936], dbcs[949]).items():
        array(out, name, table, "extern const char16_t")
    out.append("}  // namespace tw::cp")
    with open(sys.argv[1], "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
