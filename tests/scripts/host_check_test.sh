#!/usr/bin/env bash
# Which Windows build the scripts test on this host (host_runs_32bit,
# windows_arch in scripts/lib.sh), and scripts/wine-run's report when Wine
# cannot start at all.
#   host_check_test.sh PROJECT_ROOT
set -euo pipefail
root="$1"
source "$root/scripts/lib.sh"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The override answers no, whatever an earlier check found.
for earlier in "" yes no; do
    answer="$(ORRELIN_HOST_32BIT="$earlier" ORRELIN_NO_32BIT=1 bash -c \
        "source '$root/scripts/lib.sh'; if host_runs_32bit; then echo yes; else echo no; fi; windows_arch")"
    [ "$answer" = $'no\nx86_64' ] || fail "with ORRELIN_NO_32BIT=1 after '$earlier': $answer"
done
[ "$(windows_build_dir x86_64)" = "$root/build-win64" ] || fail "64-bit build folder"
[ "$(windows_build_dir i686)" = "$root/build-win32" ] || fail "32-bit build folder"

# Without it, the check agrees with a 32-bit program the system has, when it
# has one (Debian's 32-bit wineserver).
unset ORRELIN_HOST_32BIT ORRELIN_NO_32BIT
found=no
if host_runs_32bit; then found=yes; fi
[ -n "$(ls -A "$root" | grep '^\.host-check')" ] && fail "the check left its program behind"
if [ -x /usr/lib/wine/wineserver32 ]; then
    runs=no
    if /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then runs=yes; fi
    [ "$found" = "$runs" ] || fail "the check says $found, the 32-bit wineserver ran: $runs"
    [ "$(windows_arch)" = "$([ "$runs" = yes ] && echo i686 || echo x86_64)" ] || fail "windows_arch"
else
    echo "no 32-bit wineserver here; the check said $found"
fi

# A 32-bit Windows program whose Wine cannot start: wine-run says why and
# exits with 126 instead of failing later without a word.
mkdir "$work/bin"
printf '#!/bin/sh\necho "exec: /usr/lib/wine/wine: Exec format error" >&2\nexit 126\n' >"$work/bin/wine"
chmod +x "$work/bin/wine"
# "MZ", the PE header's offset (0x40) at 0x3c, then "PE\0\0" and machine 0x14c.
{
    printf 'MZ'
    head -c 58 /dev/zero
    printf '\100\0\0\0PE\0\0\114\001'
} >"$work/program.exe"
status=0
PATH="$work/bin:$PATH" WINEPREFIX="$work/prefix" bash "$root/scripts/wine-run" "$work/program.exe" \
    >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 126 ] || fail "wine-run ended with $status"
grep -q 'cannot start on this host' "$work/err.txt" || fail "no reason given: $(cat "$work/err.txt")"
grep -q 'Exec format error' "$work/err.txt" || fail "Wine's own words are lost: $(cat "$work/err.txt")"
[ ! -f "$work/prefix/.orrelin-ready" ] || fail "a prefix counted as ready"
echo "host check: 32-bit programs run here: $found"
