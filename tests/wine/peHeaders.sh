#!/bin/sh
# Checks the headers of a built program: the machine, the GUI subsystem, and imports of
# system DLLs only (a static build needs no DLL of the compiler's runtime beside it).
# Usage: peHeaders.sh <program.exe> i386|x86-64
set -eu
exe=$1
machine=$2
dump=$(x86_64-w64-mingw32-objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
failed=0
fail() { echo "$exe: $*"; failed=1; }

echo "$dump" | grep -q "file format pei-$machine\$" || fail "is not a PE image for $machine"
echo "$dump" | grep -Eq '^Subsystem[[:space:]]+00000002' || fail "is not a GUI program (subsystem 2)"
imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "imports nothing"
for dll in $imports; do
    case "$dll" in
        kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll) ;;
        *) fail "imports $dll" ;;
    esac
done
[ "$failed" -eq 0 ] && echo "$exe: $machine, GUI, imports: $(echo $imports)"
exit "$failed"
