#!/bin/sh
# Checks that a Windows program needs nothing but the system's own DLLs: the
# compiler's run-time is linked in.
#   scripts/check-windows-imports.sh PROGRAM.exe...
set -eu
# Names are compared in lower case, as Windows compares them.
system="kernel32.dll advapi32.dll setupapi.dll shell32.dll msvcrt.dll bcrypt.dll user32.dll
gdi32.dll comctl32.dll comdlg32.dll cfgmgr32.dll"
status=0
for program in "$@"; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' |
        tr '[:upper:]' '[:lower:]'); do
        case " $(echo $system) " in
        *" $dll "*) ;;
        *) echo "$program imports $dll, which is not a system DLL" >&2; status=1 ;;
        esac
    done
done
[ "$status" -eq 0 ] && echo "$*: system DLLs only"
exit "$status"
