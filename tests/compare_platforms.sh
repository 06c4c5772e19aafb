#!/usr/bin/env bash
# Converts the bundled example and every end-to-end case of the test suite
# with the Linux build and with the Windows build (under wine), and compares
# the exit status and every file left behind, byte for byte.
# Needs build/windows built, and the Linux build in build/default or in the
# folder CARDTAB_LINUX_BUILD names.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEDEBUG=-all

linux_build=${CARDTAB_LINUX_BUILD:-$PWD/build/default}
linux_exe=$linux_build/cardtab
windows_exe=$PWD/build/windows/cardtab.exe
wine_command=$(command -v wine || echo /usr/lib/wine/wine64)
cases=$(mktemp -d)
work=$(mktemp -d)
trap 'chmod -R u+w "$cases" "$work"; rm -rf "$cases" "$work"' EXIT

if ! CARDTAB_KEEP_CASES=$cases "$linux_build/tests/cardtab_tests" --gtest_brief=1 >"$work/tests.log" 2>&1; then
    echo "the tests failed while keeping their cases:"
    cat "$work/tests.log"
    exit 1
fi
cp -r examples "$cases/example"

run_side() { # run_side CASE SIDE COMMAND...
    local folder=$work/$2
    rm -rf "$folder"
    cp -r "$1" "$folder"
    local status=0
    (cd "$folder" && "${@:3}" 2>/dev/null) || status=$?
    echo "$status" > "$work/$2.status"
}

compared=0
differ=0
skipped=0
for case in "$cases"/*/; do
    # A link to a file that does not exist is followed on POSIX only:
    # Windows cannot tell where it leads.
    if { [ -L "$case/import.csv" ] && [ ! -e "$case/import.csv" ]; } ||
        { [ -L "$case/cardtab.ini" ] && [ ! -e "$case/cardtab.ini" ]; }; then
        skipped=$((skipped + 1))
        continue
    fi
    run_side "$case" linux "$linux_exe"
    run_side "$case" windows "$wine_command" "$windows_exe"
    if ! cmp -s "$work/linux.status" "$work/windows.status" || ! diff -r "$work/linux" "$work/windows" >/dev/null; then
        echo "differ: $(basename "$case"): exit $(cat "$work/linux.status") on Linux, $(cat "$work/windows.status") on Windows"
        diff -r "$work/linux" "$work/windows" | head -n 5 || true
        differ=$((differ + 1))
    fi
    compared=$((compared + 1))
done
echo "same bytes: $((compared - differ)) passed, $differ failed, $skipped with a dangling link not compared"
[ "$differ" -eq 0 ]
