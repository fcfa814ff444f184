#!/usr/bin/env python3
"""Prints the version resource of a Windows program as an independent PE
reader (pefile) sees it: the fixed file info, then each string as key=value,
then the translation. One item per line, for the builder's tests."""
import sys

import pefile


def main(path):
    pe = pefile.PE(path, fast_load=False)
    fixed = pe.VS_FIXEDFILEINFO[0]
    print("signature=%08X" % fixed.Signature)
    print("file=%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                                fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF))
    print("product=%d.%d.%d.%d" % (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                                   fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF))
    print("os=%08X type=%d" % (fixed.FileOS, fixed.FileType))
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                print("table=%s" % table.LangID.decode())
                for key, value in table.entries.items():
                    print("%s=%s" % (key.decode(), value.decode()))
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                for key, value in var.entry.items():
                    print("%s=%s" % (key.decode(), value))
    print("checksum=%d" % pe.OPTIONAL_HEADER.CheckSum)


if __name__ == "__main__":
    main(sys.argv[1])
