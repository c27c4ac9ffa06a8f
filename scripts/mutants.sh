#!/usr/bin/env bash
# Breaks the program one line at a time and checks that the tests notice.
#
# Each fault in the lists (tests/mutants/*.list, one per area) names a file, a piece of one of its lines and what
# that piece becomes. For each fault in turn this script makes the change, rebuilds the tests of
# the fault's area, runs them (ctest labels), puts the file back and prints one line:
#
#   caught  card/finish-keeps-start-disabled  by PlayActions.finishEnablesStartAgain (12 s)
#   MISSED  card/finish-keeps-start-disabled  (play_actions_test ran green, 9 s)
#
# and at the end `mutants: total=N caught=N missed=N uncatchable=N broken=N`. A fault marked
# `uncatchable:` (it changes nothing anyone can observe) is listed with its reason and not run. A
# fault whose text is not found exactly once, or whose change does not build, is `broken`: the
# list needs mending. Exits 1 when anything was missed or broken.
#
# Usage: scripts/mutants.sh [--build DIR] [--list FILE]... [--only NAME-PATTERN]
set -uo pipefail
cd "$(dirname "$0")/.."

build=build
lists=()
only=''
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --list) lists+=("$2"); shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "mutants: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -f "$build/build.ninja" ] || { echo "mutants: no build in $build (run make build first)" >&2; exit 2; }
[ ${#lists[@]} -gt 0 ] || lists=(tests/mutants/*.list)
for list in "${lists[@]}"; do
    [ -f "$list" ] || { echo "mutants: no list $list" >&2; exit 2; }
done

# A fault's file is put back even when the run is interrupted.
restore=''
put_back() {
    if [ -n "$restore" ]; then
        cp -p "$restore.mutant-backup" "$restore" && rm -f "$restore.mutant-backup"
        touch "$restore"
        restore=''
    fi
}
trap 'put_back; exit 130' INT TERM
trap put_back EXIT

# A fault names its tests as an area ("card": every test of tests/card, built by tests_card) or as
# one program ("card/play_actions_test").
target_of() {
    case "$1" in
    */*) echo "${1#*/}" ;;
    *) echo "tests_$1" ;;
    esac
}
label_regex_of() {
    case "$1" in
    */*) echo "^$1\$" ;;
    *) echo "^$1/" ;;
    esac
}

total=0 caught=0 missed=0 uncatchable=0 broken=0
name='' file='' from='' to='' labels='' why=''

run_fault() {
    [ -n "$name" ] || return 0
    if [ -n "$only" ] && [[ "$name" != $only ]]; then return 0; fi
    total=$((total + 1))
    if [ -n "$why" ]; then
        uncatchable=$((uncatchable + 1))
        printf 'uncatchable  %s  (%s)\n' "$name" "$why"
        return 0
    fi
    if [ -z "$file" ] || [ -z "$from" ] || [ -z "$labels" ] || [ ! -f "$file" ]; then
        broken=$((broken + 1))
        printf 'BROKEN  %s  (needs file:, from:, to: and tests:)\n' "$name"
        return 0
    fi
    # "⏎" stands for a line break, for a piece of code that only two lines together make unique.
    from=${from//⏎/$'\n'}
    to=${to//⏎/$'\n'}
    local found
    found=$(FROM="$from" perl -0777 -ne '$c = () = /\Q$ENV{FROM}\E/g; print $c' "$file")
    if [ "$found" != 1 ]; then
        broken=$((broken + 1))
        printf 'BROKEN  %s  (%s holds the text %s times, not once)\n' "$name" "$file" "$found"
        return 0
    fi
    local start=$SECONDS
    cp -p "$file" "$file.mutant-backup"
    restore=$file
    FROM="$from" TO="$to" perl -0777 -i -pe 's/\Q$ENV{FROM}\E/$ENV{TO}/' "$file"

    local targets=() label
    for label in $labels; do targets+=("$(target_of "$label")"); done
    if ! cmake --build "$build" --target "${targets[@]}" >"$build/mutant.log" 2>&1; then
        put_back
        broken=$((broken + 1))
        printf 'BROKEN  %s  (the change does not build; see %s/mutant.log)\n' "$name" "$build"
        return 0
    fi
    local regex=''
    for label in $labels; do regex+="${regex:+|}$(label_regex_of "$label")"; done
    (cd "$build" && ctest -L "$regex" --stop-on-failure --timeout 120 -j 2 \
        >mutant-tests.log 2>&1)
    local failed
    failed=$(grep -E '\*\*\*(Failed|Timeout|Exception)|\(Failed\)|\(Timeout\)' \
        "$build/mutant-tests.log" | sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/; s/^[[:space:]]*[0-9]+ - ([^ ]+).*/\1/' |
        head -n 1)
    local ran
    ran=$(grep -cE 'Test +#[0-9]+:' "$build/mutant-tests.log")
    put_back
    if [ -n "$failed" ]; then
        caught=$((caught + 1))
        printf 'caught  %s  by %s (%d s)\n' "$name" "$failed" $((SECONDS - start))
    else
        missed=$((missed + 1))
        printf 'MISSED  %s  (%s: %d tests ran green, %d s)\n' "$name" "$labels" "$ran" \
            $((SECONDS - start))
    fi
}

# Bring the build up to date first, so that each fault rebuilds only what it touches.
cmake --build "$build" >"$build/mutant.log" 2>&1 || {
    echo "mutants: the unchanged tree does not build; see $build/mutant.log" >&2
    exit 2
}

for list in "${lists[@]}"; do
while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
    '#'*) continue ;;
    '') run_fault; name='' file='' from='' to='' labels='' why='' ;;
    fault:*) name=${line#fault:}; name=${name# } ;;
    file:*) file=${line#file:}; file=${file# } ;;
    from:*) from=${line#from:}; from=${from# } ;;
    to:*) to=${line#to:}; to=${to# } ;;
    tests:*) labels=${line#tests:}; labels=${labels# } ;;
    uncatchable:*) why=${line#uncatchable:}; why=${why# } ;;
    *) echo "mutants: $list: cannot read: $line" >&2; exit 2 ;;
    esac
done <"$list"
run_fault
name='' file='' from='' to='' labels='' why=''
done

echo "mutants: total=$total caught=$caught missed=$missed uncatchable=$uncatchable broken=$broken"
[ "$missed" -eq 0 ] && [ "$broken" -eq 0 ]
