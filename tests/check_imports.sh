#!/usr/bin/env bash
# The plug-in is one file to install: it may import only Windows system libraries and the
# host's SDK, never a compiler runtime DLL.
set -euo pipefail
plugin=$1
imports=$(x86_64-w64-mingw32-objdump -p "$plugin" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "$imports"
allowed='^(kernel32|user32|msvcrt|comctl32|gdi32|advapi32|hostsdk)\.dll$'
bad=$(grep -Ev "$allowed" <<<"$imports" || true)
if [[ -n $bad ]]; then
    echo "unexpected imports: $bad" >&2
    exit 1
fi
