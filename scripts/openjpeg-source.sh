#!/usr/bin/env bash
# Fetches and unpacks OpenJPEG's Debian source package (openjpeg2, Debian's
# patches applied) into DEST, for the Windows builds, which link the library
# statically: Debian ships no mingw build of it.
# Usage: scripts/openjpeg-source.sh DEST
#
# The deb-src entries are made from the machine's own Debian entries (same
# mirror, suites and keyring) in a private apt folder that is removed again
# afterwards, so the system's apt configuration and lists are never changed
# and no root is needed. The version of the installed libopenjp2-7 is asked
# for first, so that native and Windows builds decode with the same code; an
# archive that no longer serves it gives its newest version.
set -euo pipefail
dest=$1
if [[ -f "$dest/CMakeLists.txt" && -f "$dest/src/lib/openjp2/openjpeg.h" ]]; then
  exit 0
fi
for tool in apt-get dpkg-source; do
  command -v "$tool" >/dev/null || { echo "openjpeg-source: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sources.list.d" "$work/lists/partial" "$work/cache/archives/partial" "$work/unpack"

# deb822 stanzas of Debian's own archives, turned into deb-src.
for f in /etc/apt/sources.list.d/*.sources; do
  [[ -f "$f" ]] || continue
  awk -v RS= -v ORS='\n\n' '
    /(^|\n)Types:[^\n]*(^| )deb( |\n|$)/ && /(^|\n)URIs:[^\n]*\/debian(-security)?\/?(\n| |$)/ &&
      !/(^|\n)Enabled: *no/ {
      sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
    }' "$f" >>"$work/sources.list.d/debian-src.sources"
done
# One-line entries.
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [[ -f "$f" ]] || continue
  sed -n -E 's#^deb (\[[^]]*\] )?([a-z]+://[^ ]*/debian(-security)?/?) #deb-src \1\2 #p' "$f" \
    >>"$work/sources.list.d/debian-src.list"
done
if [[ ! -s "$work/sources.list.d/debian-src.sources" && ! -s "$work/sources.list.d/debian-src.list" ]]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  cat >"$work/sources.list.d/debian-src.list" <<EOF
deb-src http://deb.debian.org/debian $codename main
deb-src http://deb.debian.org/debian-security $codename-security main
EOF
fi

apt_opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$work/sources.list.d"
          -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o "APT::Sandbox::User=root")
echo "openjpeg-source: reading the source index"
apt-get "${apt_opts[@]}" -q update >"$work/update.log" 2>&1 || { cat "$work/update.log" >&2; exit 1; }

version=$(dpkg-query -W -f='${source:Version}' libopenjp2-7 2>/dev/null || true)
cd "$work/unpack"
if [[ -z "$version" ]] || ! apt-get "${apt_opts[@]}" -q source "openjpeg2=$version" >"$work/source.log" 2>&1; then
  rm -rf "$work/unpack"/*
  apt-get "${apt_opts[@]}" -q source openjpeg2 >"$work/source.log" 2>&1 || { cat "$work/source.log" >&2; exit 1; }
fi
tree=$(find "$work/unpack" -mindepth 1 -maxdepth 1 -type d -name 'openjpeg2-*' | head -1)
[[ -n "$tree" && -f "$tree/CMakeLists.txt" ]] || { echo "openjpeg-source: no source tree unpacked" >&2; exit 1; }
rm -rf "$dest"
mkdir -p "$(dirname "$dest")"
mv "$tree" "$dest"
echo "openjpeg-source: $(basename "$tree") in $dest"
