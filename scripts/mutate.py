#!/usr/bin/env python3
"""Mutation sampling: how many small faults in the library does the test suite catch?

Draws a reproducible sample of library source lines, changes one operator or
constant in each (one mutant at a time), rebuilds and runs ctest. A mutant that
makes a test fail, crash or time out is killed; one that does not build is
replaced by another draw. Prints the kill rate per subsystem and in all.

    scripts/mutate.py [--per-subsystem 50] [--seed 1] [--build build/mutation] [--out FILE]
                      [--subsystems profile,usb]

A run over some subsystems draws its own sample (the same one each time for
the same seed and list); the full list in the usual order is the default run.

The build folder is configured with -DZENTROVA_MUTATION=ON (the internal
library becomes a shared one, so a mutant relinks two libraries and no test
program). Tests that fail before any change are left out of every run.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import time

SUBSYSTEMS = ["util", "integrity", "program", "profile", "usb", "device"]

# (pattern, replacement) pairs; each is tried on one occurrence of a line.
OPERATORS = [
    (r"==", "!="), (r"!=", "=="),
    (r"<=", "<"), (r">=", ">"),
    (r" < ", " <= "), (r" > ", " >= "),
    (r"&&", "||"), (r"\|\|", "&&"),
    (r" \+ ", " - "), (r" - ", " + "),
    (r"\+\+", "--"),
    (r"\btrue\b", "false"), (r"\bfalse\b", "true"),
    (r"(?<![\w.])(\d+)(?![\w.])", None),  # integer constant n -> n + 1
    (r"^(\s*)(?!return\b)([A-Za-z_][\w:.>-]*\(.*\);)\s*$", "stmt"),  # drop a call statement
]

STRING_OR_CHAR = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def masked(line):
    """The line with string and character literals and comments blanked out."""
    out = STRING_OR_CHAR.sub(lambda m: "_" * len(m.group(0)), line)
    cut = out.find("//")
    return out if cut < 0 else out[:cut] + " " * (len(out) - cut)


def candidate_lines(root):
    lines = {}
    for sub in SUBSYSTEMS:
        found = []
        folder = os.path.join(root, sub)
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            with open(path) as f:
                text = f.read().split("\n")
            in_block = False
            for i, line in enumerate(text):
                stripped = line.strip()
                if in_block:
                    in_block = "*/" not in stripped
                    continue
                if stripped.startswith("/*"):
                    in_block = "*/" not in stripped
                    continue
                if (not stripped or stripped.startswith(("//", "#", "static_assert", "namespace", "}", "using"))
                        or "assert(" in stripped):
                    continue
                found.append((path, i))
        lines[sub] = found
    return lines


def mutate(line, rng):
    """One changed version of the line, or None when no operator applies."""
    m_line = masked(line)
    options = []
    for pattern, repl in OPERATORS:
        for m in re.finditer(pattern, m_line):
            options.append((pattern, repl, m))
    if not options:
        return None
    pattern, repl, m = rng.choice(options)
    if repl is None:
        value = int(m.group(1))
        return line[:m.start(1)] + str(value + 1) + line[m.end(1):]
    if repl == "stmt":
        return m.group(1) + ";"
    return line[:m.start()] + repl + line[m.end():]


def run(cmd, timeout):
    try:
        return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--per-subsystem", type=int, default=50)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--build", default="build/mutation")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--out", default=None, help="append one line per mutant (tab-separated) to this file")
    ap.add_argument("--subsystems", default=",".join(SUBSYSTEMS),
                    help="comma-separated subsystems to sample (default: all six)")
    args = ap.parse_args()
    chosen = [s for s in SUBSYSTEMS if s in args.subsystems.split(",")]
    unknown = set(args.subsystems.split(",")) - set(SUBSYSTEMS)
    if unknown or not chosen:
        ap.error(f"unknown subsystems: {', '.join(sorted(unknown)) or '(none given)'}")
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.abspath(args.build)

    subprocess.run(["cmake", "-S", root, "-B", build, "-DCMAKE_BUILD_TYPE=Debug", "-DZENTROVA_MUTATION=ON",
                    "-DZENTROVA_BUILD_BENCH=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", str(args.jobs)], check=True, stdout=subprocess.DEVNULL)

    # Tests that fail on the unchanged tree say nothing about a mutant.
    listing = subprocess.run(["ctest", "--test-dir", build, "-j", str(args.jobs), "--timeout", "120"],
                             capture_output=True, text=True)
    broken = re.findall(r"^\s*\d+ - (\S+) \(", listing.stdout, re.M)
    exclude = ["-E", "^(" + "|".join(re.escape(b) for b in broken) + ")$"] if broken else []
    print(f"tests left out (fail unchanged): {', '.join(broken) or 'none'}", flush=True)

    rng = random.Random(args.seed)
    pool = candidate_lines(root)
    plan = []
    for sub in chosen:
        picks = pool[sub][:]
        rng.shuffle(picks)
        # A spare share for lines that yield no mutant or no build; in file
        # order, so consecutive mutants mostly recompile the same source.
        picks = sorted(picks[:args.per_subsystem * 3 // 2 + 10])
        plan.append((sub, picks))

    results = {sub: [0, 0] for sub in chosen}  # killed, total
    out = open(args.out, "a") if args.out else None
    started = time.time()
    for sub, picks in plan:
        done = 0
        for path, index in picks:
            if done >= args.per_subsystem:
                break
            with open(path) as f:
                original = f.read()
            lines = original.split("\n")
            changed = mutate(lines[index], rng)
            if changed is None or changed == lines[index]:
                continue
            lines[index] = changed
            try:
                with open(path, "w") as f:
                    f.write("\n".join(lines))
                if run(["cmake", "--build", build, "-j", str(args.jobs)], 600) != 0:
                    continue
                rc = run(["ctest", "--test-dir", build, "-j", str(args.jobs), "--timeout", "60",
                          "--stop-on-failure"] + exclude, 900)
            finally:
                with open(path, "w") as f:
                    f.write(original)
            killed = rc != 0
            done += 1
            results[sub][0] += killed
            results[sub][1] += 1
            rel = os.path.relpath(path, root)
            status = "killed" if killed else "SURVIVED"
            print(f"{sub:10s} {status:8s} {rel}:{index + 1}: {changed.strip()}", flush=True)
            if out:
                out.write(f"{sub}\t{status}\t{rel}:{index + 1}\t{changed.strip()}\n")
                out.flush()
    # Rebuild the unchanged tree so the folder is left usable.
    run(["cmake", "--build", build, "-j", str(args.jobs)], 600)

    total_k = sum(k for k, _ in results.values())
    total_n = sum(n for _, n in results.values())
    print(f"\nmutants by subsystem (killed/total), {time.time() - started:.0f} s:")
    for sub in chosen:
        k, n = results[sub]
        print(f"  {sub:10s} {k:4d}/{n:<4d} {100.0 * k / n if n else 0:5.1f}%")
    print(f"  {'all':10s} {total_k:4d}/{total_n:<4d} {100.0 * total_k / total_n if total_n else 0:5.1f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main())
