#!/usr/bin/env python3
"""Compiles the toolkit's language texts (gui/lang/*.txt, format in eng.txt)
into language packs and writes them as a C++ source of byte tables.

    lang_pack.py OUTPUT.cpp SOURCE.txt...        the built-in packs
    lang_pack.py --pack OUTPUT.bin SOURCE.txt    one pack as a file

Pack layout (integers little-endian):
    "WEKTLAFI", kind (8 bytes), code (3 ASCII letters), n (1 byte),
    native name (n bytes), plain size (4), zlib stream of the body.
    Body: "WEKTLANG", then per section: name length L (4), the name padded
    with zero bytes to a multiple of 4 (L bytes), block length B (4), block.
    Block: count (2), count lengths (2 each, 0xFFFF = absent text), the
    texts' bytes back to back.
Texts are stored in the system's UTF-8, which encodes each UTF-16 unit by
itself (a surrogate pair becomes two three-byte sequences).

Python runs on the build host, so the cross build needs no host-compiled
tool, and zlib (Python's binding to it) does the compression.
"""
import re
import struct
import sys
import zlib

MAX_PLAIN = 0x400000
BUILTIN_IDS = [0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12]  # id 1 has a name only


class SourceError(Exception):
    pass


def unit_utf8(text):
    """The system's UTF-8: every UTF-16 unit on its own."""
    units = text.encode('utf-16-le')
    out = bytearray()
    for k in range(0, len(units), 2):
        u = units[k] | units[k + 1] << 8
        if u < 0x80:
            out.append(u)
        elif u < 0x800:
            out += bytes([0xC0 | u >> 6, 0x80 | u & 0x3F])
        else:
            out += bytes([0xE0 | u >> 12, 0x80 | (u >> 6) & 0x3F, 0x80 | u & 0x3F])
    return bytes(out)


def unescape(text, where):
    out, k = [], 0
    while k < len(text):
        c = text[k]
        if c == '\\':
            nxt = text[k + 1] if k + 1 < len(text) else ''
            if nxt not in ('n', 't', '\\'):
                raise SourceError(f'{where}: unknown escape \\{nxt}')
            out.append({'n': '\n', 't': '\t', '\\': '\\'}[nxt])
            k += 2
        else:
            out.append(c)
            k += 1
    return ''.join(out)


def parse(path):
    """Returns (header dict, [(section key, {index: text})]) in file order."""
    header, sections = {}, []
    with open(path, encoding='utf-8') as f:
        lines = f.read().splitlines()
    for no, raw in enumerate(lines, 1):
        where = f'{path}:{no}'
        line = raw.rstrip('\r')
        if not line.strip() or line.lstrip().startswith('#'):
            continue
        m = re.fullmatch(r'\[([^\]]+)\]\s*', line)
        if m:
            key = m.group(1)
            if any(k == key for k, _ in sections):
                raise SourceError(f'{where}: section [{key}] twice')
            sections.append((key, {}))
            continue
        m = re.fullmatch(r'([A-Za-z0-9]+)\s*=(?: (.*))?', line)
        if not m:
            raise SourceError(f'{where}: expected "key = value"')
        name, value = m.group(1), m.group(2) or ''
        if not sections:
            if name not in ('id', 'code', 'name', 'kind'):
                raise SourceError(f'{where}: unknown header field {name}')
            header[name] = value
            continue
        if not name.isdigit():
            raise SourceError(f'{where}: a text number is expected')
        index = int(name)
        texts = sections[-1][1]
        if index in texts:
            raise SourceError(f'{where}: text {index} twice')
        if index >= 0xFFFF:
            raise SourceError(f'{where}: text number too large')
        texts[index] = unescape(value, where)
    if not sections:
        raise SourceError(f'{path}: no sections')
    return header, sections


def block(texts):
    count = max(texts) + 1
    lengths, data = [], bytearray()
    for i in range(count):
        if i not in texts:
            lengths.append(0xFFFF)
            continue
        b = unit_utf8(texts[i])
        if len(b) >= 0xFFFF:
            raise SourceError(f'text {i} is too long')
        lengths.append(len(b))
        data += b
    return struct.pack('<H', count) + struct.pack(f'<{count}H', *lengths) + bytes(data)


def body(sections):
    out = bytearray(b'WEKTLANG')
    for key, texts in sections:
        name = key.encode('ascii')
        name += b'\0' * (-len(name) % 4)
        b = block(texts)
        out += struct.pack('<I', len(name)) + name + struct.pack('<I', len(b)) + b
    if len(out) > MAX_PLAIN:
        raise SourceError('body larger than 4 MiB')
    return bytes(out)


def pack(header, sections):
    code = header.get('code', '')
    if not re.fullmatch(r'[A-Z]{3}', code):
        raise SourceError(f'code must be three capital letters, not "{code}"')
    kind = header.get('kind', 'WEKTBASE').ljust(8).encode('ascii')
    if len(kind) != 8:
        raise SourceError('kind is at most 8 letters')
    name = unit_utf8(header.get('name', ''))
    if len(name) > 255:
        raise SourceError('native name longer than 255 bytes')
    plain = body(sections)
    return (b'WEKTLAFI' + kind + code.encode('ascii') + bytes([len(name)]) + name +
            struct.pack('<I', len(plain)) + zlib.compress(plain, 9))


def c_bytes(name, data):
    lines = [f'const unsigned char {name}[{len(data)}] = {{']
    for k in range(0, len(data), 16):
        lines.append('    ' + ' '.join(f'0x{b:02X},' for b in data[k:k + 16]))
    lines.append('};')
    return lines


def write_if_changed(path, data, mode):
    try:
        with open(path, 'rb' if 'b' in mode else 'r') as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, mode) as f:
        f.write(data)


def main(argv):
    if len(argv) == 3 and argv[0] == '--pack':
        header, sections = parse(argv[2])
        write_if_changed(argv[1], pack(header, sections), 'wb')
        return
    if len(argv) < 2:
        sys.exit(__doc__)
    out, sources = argv[0], argv[1:]
    packs, names = {}, None
    for path in sources:
        header, sections = parse(path)
        data = pack(header, sections)
        if header.get('kind', 'WEKTBASE') != 'WEKTBASE':
            if names is not None:
                raise SourceError(f'{path}: a second language-names pack')
            names = data
            continue
        if not header.get('id', '').isdigit() or int(header['id']) not in BUILTIN_IDS:
            raise SourceError(f'{path}: id must be one of {BUILTIN_IDS}')
        lang = int(header['id'])
        if lang in packs:
            raise SourceError(f'{path}: a second pack for id {lang}')
        packs[lang] = data
    missing = [i for i in BUILTIN_IDS if i not in packs]
    if missing or names is None:
        raise SourceError(f'missing packs: ids {missing}' + ('' if names else ', language names'))

    lines = ['// Generated by gui/lang_pack.py from gui/lang/*.txt; edit those.',
             '#include "gui/language_builtin.h"', '', 'namespace {', '']
    for lang in BUILTIN_IDS:
        lines += c_bytes(f'kPack{lang}', packs[lang]) + ['']
    lines += c_bytes('kNames', names) + ['', '}  // namespace', '',
                                          'const tw::sPackImage tw::kBuiltinPackImages[13] = {']
    for lang in range(13):
        lines.append(f'    {{kPack{lang}, sizeof kPack{lang}}},' if lang in packs else '    {nullptr, 0},')
    lines += ['};', '', 'const tw::sPackImage tw::kLanguageNamesPackImage = {kNames, sizeof kNames};', '']
    write_if_changed(out, '\n'.join(lines), 'w')


if __name__ == '__main__':
    try:
        main(sys.argv[1:])
    except SourceError as e:
        sys.exit(f'lang_pack: {e}')
