#!/usr/bin/env python3
"""Writes the seed scenarios of the scenario fuzz target: complete
two-language scenarios in each encoding (naming the documents and files the
harness provides) and a few that stop at an error."""
import os
import sys

FULL = """# two languages, every section
[General]
langs = ENG DEU
[Software]
codename = "demo"
name = "Demo \\"quoted\\""
version = "1.2.3.4"
support_URL = "example.com.support"
welcome = "./welcome.idx"
readme = "./welcome.idx", yes
eula = "./eula.idx"
icon = $pgm "program.exe"
[Strings]
ENG.run = "Run it"
DEU.run = "Starten"
[Install]
"./program.exe" = $pgm "program.exe", 755
x64."./tree" = $pgm "data", , DEU
[Menu]
"Demo" = $pgm "program.exe", $pgm "program.exe", 1, $run, "-a"
[Run]
$run = $pgm "program.exe", yes, "-b"
[Settings]
"level" = d, "0x10"
"name" = t, "text"
[Deprecates]
"old" = *
"older" = "3"
"""

MINIMAL = """[General]
langs = ENG
[Software]
codename = "x"
eula = "./eula_en.idx"
"""

ERRORS = {
    "error_header_lower_case": MINIMAL + "[strings]\n",
    "error_value_before_header": "langs = ENG\n",
    "error_install_empty_file": MINIMAL + "[Install]\n\"./empty.bin\" = $pgm \"e\"\n",
    "error_access_digits": MINIMAL + "[Install]\n\"./program.exe\" = $pgm \"p\", 75\n",
    "error_line_too_long": MINIMAL + "# " + "a" * 5000 + "\n",
    "error_eula_one_language": MINIMAL.replace("ENG", "ENG DEU"),
    "error_version_part_too_large": MINIMAL + "version = \"1.65536\"\n",
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "scenario")
    os.makedirs(out, exist_ok=True)
    seeds = {
        "full_utf8": b"\xEF\xBB\xBF" + FULL.encode("utf-8"),
        "full_utf16le_mark": b"\xFF\xFE" + FULL.encode("utf-16-le"),
        "full_utf16be_mark": b"\xFE\xFF" + FULL.replace("\n", "\r\n").encode("utf-16-be"),
        "minimal_utf16le_no_mark": MINIMAL.encode("utf-16-le"),
    }
    for name, text in ERRORS.items():
        seeds[name] = b"\xEF\xBB\xBF" + text.encode("utf-8")
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
