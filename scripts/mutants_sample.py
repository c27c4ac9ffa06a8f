#!/usr/bin/env python3
"""Faults nobody chose: mutants made from src/ itself, a random sample of them run.

Every line of src/ that is code (no comments, logging, #include, static_assert or lines of
text only) yields its mutants by the usual operators: a relational operator replaced, == and !=
swapped, && and || swapped, a ! dropped, an integer constant one more or one less, true and
false swapped, + and - swapped, an assignment or a call statement deleted, a returned bool
negated. A sample of N is drawn (the seed printed first; random unless --seed is given), each is
made alone, only the tests that link its library are rebuilt (the library's own area first,
then the areas that use it, by ctest label, the quick ones before those that start servers) and
run, the file is put back, and each survivor is printed as file:line with its diff. The last line:

  sample: n=40 killed=35 survived=3 equivalent=1 stillborn=1 score=92.1% (95% interval 79.2-97.3%)

score = killed / (killed + survived). A mutant listed in tests/mutants/equivalent.list (a change
no behaviour can show, with its reason) is not run and counts as equivalent, and so does a place
in a window's layout table moved by one twip where it rounds to the same pixel; one that does not
build is stillborn. Neither counts in the score.

Usage: scripts/mutants_sample.py [--build DIR] [-n N] [--seed S] [--area AREA] [--file FILE] [--count]
"""

import argparse
import functools
import json
import math
import os
import random
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

from mutants_equivalent import is_equivalent, read_equivalents, same_pixel

ROOT = Path(__file__).resolve().parent.parent

# ---------------------------------------------------------------------------------------------
# Which lines are code

# Q_ASSERT: the build the tests run (RelWithDebInfo, so QT_NO_DEBUG) compiles assertions out, so
# nothing changed inside one can show.
SKIPPED_LINE = re.compile(r"^\s*(#|static_assert\b|Q_ASSERT\b|Q_DECLARE_LOGGING_CATEGORY|Q_LOGGING_CATEGORY|"
                          r"Q_OBJECT\b|Q_PROPERTY\b|namespace\b|using\b|template\b|friend\b|"
                          r"public:|private:|protected:|signals:|public slots:|private slots:)")
LOGGING = re.compile(r"\bq(C?)(Debug|Info|Warning|Critical|Fatal)\b|\bQt(Debug|Info|Warning|Critical|"
                     r"Fatal)Msg\b|\blog(Game|Line)?\(|\bsyncLog\(")
# What a line of text alone is made of once its strings are blanked.
TEXT_ONLY = re.compile(r"^[\s,;()+.:]*(QStringLiteral|QLatin1String|QLatin1StringView|QByteArrayLiteral|"
                       r"tr|u|u8)?[\s(]*\"\"[\s\",;()+.:]*(\.arg\([^()]*\))*[\s,;)]*$")


def code_lines(text):
    """Yields (line number, line, code): code is the line with comments removed and the insides
    of string and character literals blanked, so that no operator is found in them."""
    in_block = False
    for number, line in enumerate(text.split("\n"), start=1):
        code = []
        i = 0
        while i < len(line):
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    i = len(line)
                    break
                in_block = False
                i = end + 2
                continue
            c = line[i]
            if line.startswith("//", i):
                break
            if line.startswith("/*", i):
                in_block = True
                i += 2
                continue
            if c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isalnum()):
                end = i + 1
                while end < len(line) and line[end] != c:
                    end += 2 if line[end] == "\\" else 1
                code.append(c + " " * (min(end, len(line)) - i - 1) + c)
                i = end + 1
                continue
            code.append(c)
            i += 1
        yield number, line, "".join(code)


# ---------------------------------------------------------------------------------------------
# The operators: each yields (column, length, replacement, what) over a line's code

def swaps(code, pattern, table, what):
    for m in re.finditer(pattern, code):
        yield m.start(1), len(m.group(1)), table[m.group(1)], what


RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}


def mutations(code, returns_bool):
    # Binary operators stand between blanks in this code (clang-format), which keeps templates,
    # arrows and streams out.
    yield from swaps(code, r"(?<=\S) (<=|>=|<|>) (?=\S)", RELATIONAL, "relational")
    yield from swaps(code, r"(?<!operator)(?<=\S) (==|!=) (?=\S)", {"==": "!=", "!=": "=="},
                     "equality")
    yield from swaps(code, r"(?<=\S) (&&|\|\|) (?=\S)", {"&&": "||", "||": "&&"}, "logical")
    yield from swaps(code, r"(?<=[\w)\]]) (\+|-|\+=|-=) (?=\S)",
                     {"+": "-", "-": "+", "+=": "-=", "-=": "+="}, "arithmetic")
    for m in re.finditer(r"(?<![\w!])!(?=[\w(*])", code):
        yield m.start(), 1, "", "not dropped"
    for m in re.finditer(r"\b(true|false)\b", code):
        yield m.start(1), len(m.group(1)), {"true": "false", "false": "true"}[m.group(1)], "bool"
    for m in re.finditer(r"(?<![\w.'])(\d+)([uUlL]*)(?![\w.'])", code):
        value = int(m.group(1))
        for other in (value + 1, value - 1):
            if other >= 0:
                yield m.start(1), len(m.group(1)), str(other), "constant"
    statement = code.strip()
    if statement.endswith(";") and balanced(statement) and not re.match(
            r"(return|co_return|break|continue|case|default|delete|throw|goto|else|do)\b",
            statement):
        # x = ...; x.y += ...; *p = ...; (no declaration: the target is one word) or a call f(...);
        if re.match(r"[\w.\->\[\]*:]+ (=|\+=|-=|\|=|&=|\^=|<<=|>>=) ", statement) or \
                re.match(r"[\w.\->:]+(\[[^\]]*\])?(\.|->)?[\w:]*\(.*\);$", statement) and \
                not re.match(r"[A-Z]\w*(<[^>]*>)?(::\w+)? \w+\(", statement):
            start = code.index(statement)
            yield start, len(statement), "{}", "statement deleted"
    if returns_bool:
        m = re.match(r"^(\s*return )(.+);\s*$", code)
        if m and m.group(2).strip() not in ("true", "false"):
            yield len(m.group(1)), len(m.group(2)), "!(" + m.group(2) + ")", "returned bool negated"


def balanced(text):
    return text.count("(") == text.count(")") and text.count("{") == text.count("}")


def candidates_in(path):
    """Every mutant of one source file: (line number, original line, mutated line, operator)."""
    text = path.read_text(encoding="utf-8")
    found = []
    returns_bool = False
    logging_open = 0  # the open parentheses of a logging statement that goes on
    previous = ";"
    for number, line, code in code_lines(text):
        stripped = code.strip()
        # A function returning bool, defined at the left margin or inside a class.
        if re.match(r"^\s{0,4}(static |inline |constexpr |virtual |\[\[nodiscard\]\] )*bool [\w:]+\(",
                    code) and not stripped.endswith(";"):
            returns_bool = True
        elif re.match(r"^\s{0,4}\S.*\)( const)?( override)? \{$", code) or code.startswith("}"):
            returns_bool = returns_bool and not code.startswith("}")
        if logging_open > 0 or LOGGING.search(code):
            logging_open = max(0, logging_open + code.count("(") - code.count(")"))
            continue
        if not stripped or SKIPPED_LINE.match(code) or TEXT_ONLY.match(stripped):
            continue
        whole_statement = previous[-1:] in ";{}:)" or previous.endswith("else")
        for column, length, replacement, what in mutations(code, returns_bool):
            if what == "statement deleted" and not whole_statement:
                continue
            mutated = line[:column] + replacement + line[column + length:]
            if mutated != line:
                found.append((number, line, mutated, what))
        previous = stripped or previous
    return found


def source_files():
    listed = subprocess.run(["git", "ls-files", "src"], cwd=ROOT, capture_output=True, text=True,
                            check=True).stdout.split()
    return [f for f in listed if f.endswith((".cpp", ".h"))]


# ---------------------------------------------------------------------------------------------
# Which tests a file reaches: the libraries of src/*/CMakeLists.txt, the test programs of
# tests/CMakeLists.txt and what each links or depends on.

def cmake_calls(path, names):
    text = re.sub(r"#[^\n]*", "", path.read_text(encoding="utf-8"))
    for m in re.finditer(r"\b(" + "|".join(names) + r")\(([^()]*(?:\([^()]*\)[^()]*)*)\)", text):
        yield m.group(1), m.group(2).split()


def link_graph():
    owner, edges = {}, {}
    # tools/: the demo, which a test runs.
    for cmake in [ROOT / "src/CMakeLists.txt"] + sorted(ROOT.glob("src/*/CMakeLists.txt")) + \
            [ROOT / "tools/CMakeLists.txt"]:
        folder = cmake.parent.relative_to(ROOT).as_posix()
        for call, args in cmake_calls(cmake, ["add_library", "qt_add_executable", "jackwell_module",
                                              "target_link_libraries", "add_dependencies",
                                              "target_sources"]):
            name = args[0]
            if call == "target_link_libraries" or call == "add_dependencies":
                edges.setdefault(name, set()).update(
                    a for a in args[1:] if a not in ("PUBLIC", "PRIVATE", "INTERFACE"))
                continue
            for source in args[1:]:
                source = source.replace("${CMAKE_CURRENT_SOURCE_DIR}/", "")
                if source.endswith((".cpp", ".h")) and "$" not in source:
                    owner[(folder + "/" + source).replace("src/src/", "src/")] = name
            if call == "jackwell_module":
                edges.setdefault(name, set()).update(args[args.index("LIBS") + 1:])
    programs = {}  # ctest label -> the targets it builds
    tests = ROOT / "tests/CMakeLists.txt"
    scripted = {}  # a test run by a script -> the programs it runs
    for call, args in cmake_calls(tests, ["jackwell_test", "target_link_libraries",
                                          "add_dependencies", "add_test", "set_tests_properties"]):
        if call == "jackwell_test":
            label, program = args[0], args[0].split("/")[1]
            programs[label] = [program]
            edges.setdefault(program, set()).update(args[args.index("LIBS") + 1:]
                                                    if "LIBS" in args else [])
        elif call == "add_test":
            scripted[args[1]] = re.findall(r"\$<TARGET_FILE:([^>]+)>", " ".join(args))
        elif call == "set_tests_properties" and "LABELS" in args and args[0] in scripted:
            label = args[args.index("LABELS") + 1]
            programs[label] = scripted[args[0]]
            edges.setdefault(label, set()).update(scripted[args[0]])
        elif not args[0].startswith("tests_"):
            edges.setdefault(args[0], set()).update(
                a for a in args[1:] if a not in ("PUBLIC", "PRIVATE", "INTERFACE"))
    return owner, edges, programs


def reaches(edges, start, target, seen=None):
    seen = seen if seen is not None else set()
    if start == target:
        return True
    seen.add(start)
    return any(reaches(edges, n, target, seen) for n in edges.get(start, ()) if n not in seen)


def tests_of(source, graph):
    """The tests the file reaches, by ctest label: its own area's, and the others'."""
    owner, edges, programs = graph
    library = owner.get(source)
    if library is None:  # a header no list names: its folder's library
        folder = source.rsplit("/", 1)[0] + "/"
        library = next((lib for f, lib in owner.items() if f.startswith(folder)), None)
    labels = sorted(label for label, targets in programs.items()
                    if library and any(reaches(edges, t, library) for t in targets + [label]))
    area = source.split("/")[1]
    # The own area's tests first, with those named like the file (books/ledger_audit.cpp:
    # books/ledger_audit_test), so that a mutant is usually caught before the slow rest runs.
    words = set(Path(source).stem.split("_")) - {"qt", "file", "test"}
    own = [label for label in labels if label.startswith(area + "/") or
           words & set(label.split("/")[1].split("_")[:-1])]
    return own, [label for label in labels if label not in own]


# ---------------------------------------------------------------------------------------------
# Running one mutant

class Restorer:
    def __init__(self):
        self.path = None

    def put_back(self):
        if self.path:
            backup = Path(str(self.path) + ".mutant-backup")
            os.replace(backup, self.path)
            os.utime(self.path)  # newer than what the mutant built, so that it is built again
            self.path = None


restorer = Restorer()


def on_signal(number, _frame):
    if running:
        os.killpg(running.pid, signal.SIGTERM)
        running.wait()
    restorer.put_back()
    if summary:
        print("\ninterrupted; so far:", summary(), flush=True)
    sys.exit(128 + number)


summary = None  # the summary line of the mutants run so far


running = None  # the build or test run going on, a process group of its own


def run(command, cwd, timeout, log):
    """The exit code, or None when the time limit ended it (with everything it started)."""
    global running
    with open(log, "w") as out:
        running = subprocess.Popen(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        try:
            return running.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(running.pid, signal.SIGKILL)
            running.wait()
            return None
        finally:
            running = None


def ctest(build, labels, timeout):
    """'killed', 'survived' or 'killed (time limit)' for one group of test programs."""
    if not labels:
        return "survived", ""
    regex = "|".join("^" + re.escape(label) + "$" for label in labels)
    log = Path(build) / "mutant-tests.log"
    code = run(["ctest", "-L", regex, "--stop-on-failure", "--timeout", "120", "-j", "2"], build,
               timeout, log)
    if code is None:
        return "killed", "time limit"
    if code == 0:
        return "survived", ""
    failed = re.findall(r"Test +#\d+: (\S+) .*\*\*\*(?:Failed|Timeout|Exception)|\d+ - (\S+) \(",
                        log.read_text(errors="replace"))
    first = next((a or b for a, b in failed), "ctest")
    return "killed", first


def label_costs(build):
    """Seconds each ctest label took when last run (from ctest's own record), 0 when unknown."""
    costs = {}
    try:
        listing = json.loads(subprocess.run(["ctest", "--show-only=json-v1"], cwd=build,
                                            capture_output=True, text=True).stdout)
        record = Path(build) / "Testing/Temporary/CTestCostData.txt"
        seconds = {}
        for row in record.read_text(errors="replace").splitlines():
            parts = row.split()
            if len(parts) == 3:
                seconds[parts[0]] = float(parts[2])
    except (ValueError, OSError):
        return costs
    for test in listing.get("tests", []):
        for prop in test.get("properties", []):
            if prop["name"] == "LABELS":
                for label in prop["value"]:
                    costs[label] = costs.get(label, 0) + seconds.get(test["name"], 0)
    return costs


def cheap_first(labels, costs):
    """The labels in groups run one after another: those of a few seconds first, so that a mutant
    they catch is caught before the slow ones (real servers) run; ctest itself starts the
    longest first."""
    quick = [label for label in labels if costs.get(label, 0) <= 10]
    slow = [label for label in labels if costs.get(label, 0) > 10]
    return [group for group in (quick, slow) if group]


def try_mutant(mutant, build, graph, time_limit, costs=None):
    source, number, line, mutated, what = mutant
    own, users = tests_of(source, graph)
    path = ROOT / source
    backup = Path(str(path) + ".mutant-backup")
    text = path.read_text(encoding="utf-8").split("\n")
    assert text[number - 1] == line, f"{source}:{number} changed since it was read"
    backup.write_bytes(path.read_bytes())
    restorer.path = path
    try:
        text[number - 1] = mutated
        path.write_text("\n".join(text), encoding="utf-8")
        deadline = time.monotonic() + time_limit
        # The own area's first; within each, the quick tests before the slow.
        for group in cheap_first(own, costs or {}) + cheap_first(users, costs or {}):
            targets = sorted({t for label in group for t in graph[2][label]})
            built = run(["cmake", "--build", build, "--target"] + targets, ROOT,
                        max(1, deadline - time.monotonic()), Path(build) / "mutant.log")
            if built is None:
                return "stillborn", "build time limit", own + users
            if built != 0:
                return "stillborn", "does not build", own + users
            verdict, by = ctest(build, group, max(1, deadline - time.monotonic()))
            if verdict == "killed":
                return verdict, by, own + users
        return "survived", "", own + users
    finally:
        restorer.put_back()


def wilson(successes, n, z=1.96):
    if n == 0:
        return 0.0, 0.0
    p = successes / n
    centre = (p + z * z / (2 * n)) / (1 + z * z / n)
    half = z * math.sqrt(p * (1 - p) / n + z * z / (4 * n * n)) / (1 + z * z / n)
    return max(0.0, centre - half), min(1.0, centre + half)


@functools.lru_cache(maxsize=None)
def file_lines(source):
    return (ROOT / source).read_text(encoding="utf-8").split("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("-n", type=int, default=40)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--area", help="only mutants of src/AREA")
    parser.add_argument("--file", help="only mutants of this file (src/AREA/NAME.cpp); with an N "
                        "at least their number, every one of them")
    parser.add_argument("--time-limit", type=int, default=900, help="seconds per mutant")
    parser.add_argument("--count", action="store_true", help="count the mutants, run none")
    args = parser.parse_args()
    build = str((ROOT / args.build).resolve()) if not os.path.isabs(args.build) else args.build
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(10 ** 6)
    print(f"seed: {seed}", flush=True)

    everything = []
    for source in source_files():
        if args.area and not source.startswith(f"src/{args.area}/"):
            continue
        if args.file and source != args.file:
            continue
        for number, line, mutated, what in candidates_in(ROOT / source):
            everything.append((source, number, line, mutated, what))
    if args.count:
        by_what = {}
        for m in everything:
            by_what[m[4]] = by_what.get(m[4], 0) + 1
        print(f"mutants: {len(everything)}", " ".join(f"{k}={v}" for k, v in sorted(by_what.items())))
        return 0
    if not os.path.exists(os.path.join(build, "build.ninja")):
        print(f"mutants-sample: no build in {build} (run make build first)", file=sys.stderr)
        return 2
    sample = random.Random(seed).sample(everything, min(args.n, len(everything)))
    equivalents = read_equivalents()
    graph = link_graph()
    costs = label_costs(build)
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)

    print(f"mutants: {len(everything)} in src/, {len(sample)} drawn", flush=True)
    if run(["cmake", "--build", build], ROOT, None, Path(build) / "mutant.log") != 0:
        print(f"mutants-sample: the unchanged tree does not build; see {build}/mutant.log",
              file=sys.stderr)
        return 2
    counts = {"killed": 0, "survived": 0, "equivalent": 0, "stillborn": 0}
    survivors = []
    began = time.monotonic()
    global summary

    def summary():
        scored = counts["killed"] + counts["survived"]
        low, high = wilson(counts["killed"], scored)
        score = 100 * counts["killed"] / scored if scored else 0
        minutes = (time.monotonic() - began) / 60
        return (f"sample: n={sum(counts.values())} killed={counts['killed']} "
                f"survived={counts['survived']} equivalent={counts['equivalent']} "
                f"stillborn={counts['stillborn']} score={score:.1f}% (95% interval "
                f"{100 * low:.1f}-{100 * high:.1f}%) seed={seed} time={minutes:.0f} min")

    for index, mutant in enumerate(sample, start=1):
        source, number, line, mutated, what = mutant
        where = f"{source}:{number}"
        if is_equivalent(equivalents, source, file_lines(source), number, line, mutated):
            counts["equivalent"] += 1
            print(f"[{index}/{len(sample)}] equivalent  {where}  ({what})", flush=True)
            continue
        if same_pixel(source, line, mutated, what):
            counts["equivalent"] += 1
            print(f"[{index}/{len(sample)}] equivalent  {where}  ({what}: the same pixel)",
                  flush=True)
            continue
        start = time.monotonic()
        verdict, by, labels = try_mutant(mutant, build, graph, args.time_limit, costs)
        counts[verdict] += 1
        seconds = time.monotonic() - start
        detail = f"by {by}" if verdict == "killed" else (by or f"{len(labels)} test programs ran green")
        print(f"[{index}/{len(sample)}] {verdict}  {where}  ({what}; {detail}; {seconds:.0f} s)",
              flush=True)
        if verdict == "survived":
            survivors.append((where, line, mutated, what))
            print(f"    -{line.strip()}\n    +{mutated.strip()}", flush=True)
    if survivors:
        print("\nsurvivors:")
        for where, line, mutated, what in survivors:
            print(f"{where}  ({what})\n-{line}\n+{mutated}")
    print("\n" + summary())
    return 0 if counts["survived"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
