#!/usr/bin/env bash
# Keeps docs/architecture.md true: every path it names in backticks must exist, every function
# (written `name()` or `Class::name()`) must still be in a source file named on the same line, or,
# where the line names none, somewhere under src/, and every type (`CamelCase`) under src/.
# Usage: scripts/check-architecture.sh [SOURCE_DIR]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
doc=$root/docs/architecture.md
[[ -f $doc ]] || { echo "no $doc"; exit 1; }

missing=()
has_function() { # FILE NAME: NAME (Class::fn or fn) is defined or declared in FILE
    local file=$1 name=$2 cls fn
    if [[ $name == *::* ]]; then
        fn=${name##*::}
        cls=${name%::*}
        cls=${cls##*::}
        grep -qF -- "$name(" "$file" && return 0
        grep -qE "(class|struct) $cls\b" "$file" && grep -qE "\b$fn\(" "$file"
    else
        grep -qE "\b$name\(" "$file"
    fi
}

lineno=0
while IFS= read -r line; do
    lineno=$((lineno + 1))
    mapfile -t names < <(grep -oE '`[^`]+`' <<<"$line" | tr -d '`')
    ((${#names[@]})) || continue
    sources=()
    for name in "${names[@]}"; do
        if [[ $name =~ ^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)+/?$ ]]; then
            if [[ ! -e $root/$name ]]; then
                missing+=("line $lineno: $name: no such file")
            elif [[ -f $root/$name && $name =~ \.(cpp|h)$ ]]; then
                sources+=("$root/$name")
            fi
        fi
    done
    for name in "${names[@]}"; do
        if [[ $name =~ ^[A-Za-z_][A-Za-z0-9_]*(::[A-Za-z_~][A-Za-z0-9_]*)*\(\)$ ]]; then
            fn=${name%()}
            found=0
            if ((${#sources[@]})); then
                for file in "${sources[@]}"; do
                    has_function "$file" "$fn" && { found=1; break; }
                done
                ((found)) || missing+=("line $lineno: $name: not in ${sources[*]#"$root/"}")
            else
                while IFS= read -r file; do
                    has_function "$file" "$fn" && { found=1; break; }
                done < <(grep -rlE "\b${fn##*::}\(" "$root/src")
                ((found)) || missing+=("line $lineno: $name: not under src/")
            fi
        elif [[ $name =~ ^[A-Z][A-Za-z0-9]*[a-z][A-Za-z0-9]*$ ]]; then
            grep -rqE "\b$name\b" "$root/src" || missing+=("line $lineno: $name: no such type under src/")
        fi
    done
done <"$doc"

if ((${#missing[@]})); then
    echo "docs/architecture.md names what is not there:"
    printf '  %s\n' "${missing[@]}"
    exit 1
fi
echo "docs/architecture.md: every file, function and type it names is there"
