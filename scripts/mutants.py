#!/usr/bin/env python3
"""Mutation testing: does the test suite notice small faults?

Applies one single-line mutation at a time to the converter, layout, raster device and command
sources, rebuilds (build/mutants, a plain Debug build), runs the unit and command-line tests and
records whether any test failed ("killed") or all passed ("survived"). Mutants that do not compile
are not counted. The mutations:
  cmp    a comparison flipped: < <=, > >=, == !=
  off    an integer literal or a "+ 1"/"- 1" moved by one
  drop   a call statement removed
  swap   the two arguments of a two-argument call exchanged
  bool   true/false, && ||

The candidates are enumerated in a fixed order and a fixed sample of them (--count, --seed) is run,
so that two runs over the same sources try the same mutants. The summary goes to
build/mutants/results.txt, every mutant's outcome to build/mutants/outcomes.tsv and the survivors
to build/mutants/survivors.txt. --rerun OUTCOMES runs again the mutants that an earlier run killed
(optionally only those in sources under --under), to see whether changed tests still kill them.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "mutants")
SOURCES = ["src/converter", "src/raster", "tools"]

COMPARISONS = [("<=", "<"), (">=", ">"), ("==", "!="), ("!=", "=="), ("<", "<="), (">", ">=")]
CALL_STATEMENT = re.compile(r"^\s*(?:[A-Za-z_][\w:]*(?:\.|->))*[a-z][\w]*\([^;]*\);\s*$")
TWO_ARGUMENTS = re.compile(r"\b([a-z]\w*)\(([^(),]+), ([^(),]+)\)")
LITERAL = re.compile(r"(?<![\w.])(\d+)(?![\w.])")


def code_lines(path):
    """(number, text) of the lines worth mutating: not comments, includes or asserts."""
    with open(path, encoding="utf-8") as f:
        for number, text in enumerate(f, 1):
            stripped = text.strip()
            if (not stripped or stripped.startswith(("//", "#", "*", "/*", "static_assert"))
                    or "constexpr" in stripped or "assert(" in stripped):
                continue
            yield number, text.rstrip("\n")


def mutations_of(text):
    """(kind, mutated line) for each mutation of one line."""
    code = text.split("//")[0]
    found = []
    for old, new in COMPARISONS:
        for m in re.finditer(re.escape(old), code):
            start, end = m.start(), m.end()
            before = code[start - 1] if start else " "
            after = code[end] if end < len(code) else " "
            # Whole operators only: not part of <<, >>, ->, <=>, templates' <...>.
            if before in "<>=!-" or after in "<>=":
                continue
            if old in ("<", ">") and not (before == " " and after == " "):
                continue
            found.append(("cmp", text[:start] + new + text[end:]))
    for m in LITERAL.finditer(code):
        value = int(m.group(1))
        if value > 100000:
            continue
        found.append(("off", text[:m.start()] + str(value + 1) + text[m.end():]))
    for old, new in ((" + 1", " - 1"), (" - 1", " + 1")):
        i = code.find(old)
        if i >= 0:
            found.append(("off", text[:i] + new + text[i + len(old):]))
    if CALL_STATEMENT.match(code) and not code.strip().startswith(("return", "delete")):
        indent = text[:len(text) - len(text.lstrip())]
        found.append(("drop", indent + "(void)0;  // mutant: call dropped"))
    for m in TWO_ARGUMENTS.finditer(code):
        if m.group(2).strip() != m.group(3).strip():
            swapped = f"{m.group(1)}({m.group(3)}, {m.group(2)})"
            found.append(("swap", text[:m.start()] + swapped + text[m.end():]))
    for old, new in (("true", "false"), ("false", "true"), ("&&", "||"), ("||", "&&")):
        m = re.search(r"(?<!\w)" + re.escape(old) + r"(?!\w)", code)
        if m:
            found.append(("bool", text[:m.start()] + new + text[m.end():]))
    return found


def candidates():
    result = []
    for folder in SOURCES:
        for directory, _, files in sorted(os.walk(os.path.join(ROOT, folder))):
            for name in sorted(files):
                if not name.endswith(".cpp") or name.endswith("_win32.cpp"):
                    continue
                path = os.path.join(directory, name)
                for number, text in code_lines(path):
                    for kind, mutated in mutations_of(text):
                        result.append((os.path.relpath(path, ROOT), number, kind, text, mutated))
    return result


def run(command, timeout=None, env=None):
    return subprocess.run(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=timeout, env=env)


def configure():
    if os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
        return
    run(["cmake", "-S", ".", "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
         "-DCMAKE_CXX_FLAGS_DEBUG=-O0", "-DPAGEWRIGHT_BENCH=OFF"]).check_returncode()


def build_and_test(jobs):
    """'killed', 'survived' or 'stillborn'."""
    if run(["cmake", "--build", BUILD, "-j", str(jobs)]).returncode != 0:
        return "stillborn"
    # A mutant may crash tests before they clean up: their files go to a folder removed here.
    scratch = os.path.join(BUILD, "tmp")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    try:
        tests = run(["ctest", "--test-dir", BUILD, "-L", "unit|cli", "-j", str(jobs),
                     "--timeout", "60", "--stop-on-failure"], timeout=900,
                    env=dict(os.environ, TMPDIR=scratch))
    except subprocess.TimeoutExpired:
        return "killed"
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return "survived" if tests.returncode == 0 else "killed"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=200, help="mutants to run (default 200)")
    parser.add_argument("--seed", type=int, default=1, help="which sample (default 1)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    parser.add_argument("--rerun", metavar="OUTCOMES",
                        help="run the mutants an earlier outcomes.tsv lists as killed")
    parser.add_argument("--under", default="", help="with --rerun: only sources under this path")
    args = parser.parse_args()

    every = candidates()
    if args.rerun:
        with open(args.rerun, encoding="utf-8") as f:
            wanted = {tuple(line.rstrip("\n").split("\t")[1:4])
                      for line in f if line.startswith("killed\t")}
        sample = [c for c in every
                  if (c[0], str(c[1]), c[4].strip()) in wanted and c[0].startswith(args.under)]
    else:
        sample = random.Random(args.seed).sample(every, min(args.count, len(every)))
    sample.sort()
    if args.list:
        for path, number, kind, _, mutated in sample:
            print(f"{path}:{number}: {kind}: {mutated.strip()}")
        return 0

    configure()
    if build_and_test(args.jobs) != "survived":
        print("the unmutated sources do not build or pass their tests", file=sys.stderr)
        return 1
    os.makedirs(BUILD, exist_ok=True)
    counts = {"killed": 0, "survived": 0, "stillborn": 0}
    survivors = []
    outcomes = []
    started = time.time()
    for index, (path, number, kind, text, mutated) in enumerate(sample, 1):
        full = os.path.join(ROOT, path)
        with open(full, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        lines[number - 1] = mutated
        try:
            with open(full, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            outcome = build_and_test(args.jobs)
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original)
        counts[outcome] += 1
        outcomes.append(f"{outcome}\t{path}\t{number}\t{mutated.strip()}\t{kind}")
        if outcome == "survived":
            survivors.append(f"{path}:{number}: {kind}: {text.strip()}  =>  {mutated.strip()}")
        print(f"[{index}/{len(sample)}] {outcome:9} {path}:{number} {kind}", flush=True)
    # Leave the build matching the sources again.
    run(["cmake", "--build", BUILD, "-j", str(args.jobs)])

    tried = counts["killed"] + counts["survived"]
    chosen = f"rerun of {args.rerun}" if args.rerun else f"seed {args.seed}"
    summary = (f"{len(every)} candidates, {len(sample)} sampled ({chosen}): "
               f"{counts['killed']} killed, {counts['survived']} survived, "
               f"{counts['stillborn']} did not compile; kill rate "
               f"{counts['killed'] / tried:.1%} ({time.time() - started:.0f} s)" if tried else
               "no mutant compiled")
    with open(os.path.join(BUILD, "outcomes.tsv"), "w", encoding="utf-8") as f:
        f.write("\n".join(outcomes) + "\n")
    with open(os.path.join(BUILD, "survivors.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(survivors) + "\n")
    with open(os.path.join(BUILD, "results.txt"), "w", encoding="utf-8") as f:
        f.write(summary + "\n")
    print(summary)
    print("survivors: build/mutants/survivors.txt")
    return 0


if __name__ == "__main__":
    sys.exit(main())
