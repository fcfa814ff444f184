#!/usr/bin/env bash
# Puts the example product (examples/demo) together in a folder from which
# "make" builds its setup file: the scenario, documents and files, and the
# example program the build made, as program/hello.exe.
# Usage: stage-example.sh <folder to create> <example_hello.exe of a Windows build>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
program=$2
[[ -f "$program" ]] || { echo "stage-example: no example program at $program" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/program"
cp -R "$root/examples/demo/scenario.txt" "$root/examples/demo/docs" "$root/examples/demo/files" "$out/"
cp "$program" "$out/program/hello.exe"
