#!/usr/bin/env bash
# The Windows build's `block` writes the same bytes as the native build's.
# Usage: block_matches_native.sh NATIVE_CLI WINDOWS_CLI [LOADER...]
set -euo pipefail
native=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fields=(--ip 192.168.1.20 --mac 00-1b-2C-3d-4E-5f --nickname X)
"$native" block "${fields[@]}" --out "$work/native.bin"
# The Windows program gets a Windows path: Wine maps drive Z: to /.
"$@" block "${fields[@]}" --out "Z:${work//\//\\}\\windows.bin"

cmp "$work/native.bin" "$work/windows.bin"
echo "PASS: identical $(stat -c %s "$work/windows.bin")-byte blocks"
