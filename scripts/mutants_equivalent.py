"""Which mutants no behaviour can show, for scripts/mutants_sample.py: those listed in
tests/mutants/equivalent.list, each with its reason, and a layout place moved by a twip that
still rounds to the same pixel."""

import re
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EQUIVALENTS = ROOT / "tests/mutants/equivalent.list"

# Equivalent mutants: tests/mutants/equivalent.list, in the format of the other lists, each
# with `uncatchable: reason`; `from:` and `to:` are the whole line before and after, trimmed. A
# line that stands more than once in its file is named with a neighbour, as in the other lists:
# `from: LINE⏎NEXT` (the line after it as it stands, indented) or `from: PREVIOUS⏎LINE` (the line
# before it, trimmed, then the changed line as it stands).

# A place in twips in a window's layout table ({left, top, width, height}) is shown in whole
# pixels, rounded (src/shell/card_layout.h: toPixels); one twip more or less that rounds to the
# same pixel changes nothing anyone can see, and is counted as equivalent without a list entry.
TWIPS_PER_PIXEL = 15
LAYOUT_TABLE = re.compile(r"src/shell/\w+_layout\.h$")
PLACE = re.compile(r"\{(\d+), (\d+), (\d+), (\d+)\}")


def same_pixel(source, line, mutated, what):
    if what != "constant" or not LAYOUT_TABLE.search(source):
        return False
    before, after = PLACE.search(line), PLACE.search(mutated)
    if not before or not after or line[:before.start()] != mutated[:after.start()]:
        return False
    changed = [(int(a), int(b)) for a, b in zip(before.groups(), after.groups()) if a != b]
    pixel = lambda twips: (twips + TWIPS_PER_PIXEL // 2) // TWIPS_PER_PIXEL
    return len(changed) == 1 and pixel(changed[0][0]) == pixel(changed[0][1])


def read_equivalents():
    entries, entry = set(), {}
    if not EQUIVALENTS.exists():
        return entries
    for line in EQUIVALENTS.read_text(encoding="utf-8").split("\n") + [""]:
        if line.startswith("#"):
            continue
        if not line.strip():
            if entry:
                entries.add((entry.get("file"), entry.get("from"), entry.get("to", "")))
            entry = {}
            continue
        key, _, value = line.partition(":")
        entry[key.strip()] = value[1:] if value.startswith(" ") else value
    return entries


def is_equivalent(equivalents, source, lines, number, line, mutated):
    """Whether the mutant of line `number` (1-based) of `lines`, the file's lines, is listed."""
    if (source, line.strip(), mutated.strip()) in equivalents:
        return True
    after = lines[number] if number < len(lines) else ""
    before = lines[number - 2].strip() if number >= 2 else ""
    return ((source, f"{line.strip()}\u23ce{after}", f"{mutated.strip()}\u23ce{after}") in equivalents
            or (source, f"{before}\u23ce{line}", f"{before}\u23ce{mutated}") in equivalents)
