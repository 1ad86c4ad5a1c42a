#!/usr/bin/env python3
"""Plants the single-line faults listed in tests/mutants.md, one at a time, in a source
tree of its own, and records which ones the named tests catch.

    tests/mutants/run.py --tree /work/mut [--ids M01,M07] [--record before|after] [--slow]
    tests/mutants/run.py --tree /work/mut --check      # only: is each original text there?

For each line: the original text must occur exactly once in the file named (or, when the
code has moved, exactly once in all of the product folders together), else the line is
"stale". The replacement is written, the build is brought up to date, the line's ctest
selection runs (label by label, stopping at the first that fails) under a virtual display,
and the file is put back byte for byte whatever happens. Tests that already fail on the
unplanted tree are found first and do not count as catches. Never point --tree at a tree
others build and test in: the faults are real edits while they run.
"""
import argparse
import os
import re
import shlex
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LIST = os.path.join(os.path.dirname(HERE), "mutants.md")
PRODUCT = ["app", "report", "platform", "gfx", "audio", "demo", "tools/quorl-capture"]
COLUMNS = ["id", "file", "original", "replacement", "selection", "before", "after"]
SCREEN = "1280x720x24"


def split_row(line):
    """The cells of a table row; `\\|` is a literal bar inside a cell."""
    cells, cur, i = [], "", 0
    body = line.strip()[1:-1] if line.strip().endswith("|") else line.strip()[1:]
    while i < len(body):
        if body.startswith("\\|", i):
            cur += "|"
            i += 2
        elif body[i] == "|":
            cells.append(cur)
            cur = ""
            i += 1
        else:
            cur += body[i]
            i += 1
    cells.append(cur)
    out = []
    for c in cells:
        c = c.strip()
        if len(c) >= 2 and c.startswith("`") and c.endswith("`"):
            c = c[1:-1]
        out.append(c)
    return out


def cell(text):
    return text.replace("|", "\\|")


def read_mutants(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for n, line in enumerate(lines):
        if not re.match(r"^\|\s*M\d+\s*\|", line):
            continue
        cells = split_row(line)
        if len(cells) < 5:
            raise SystemExit("%s:%d: fewer than 5 cells" % (path, n + 1))
        cells += [""] * (len(COLUMNS) - len(cells))
        row = dict(zip(COLUMNS, cells[:len(COLUMNS)]))
        row["line"] = n
        rows.append(row)
    return lines, rows


def write_result(path, mutant_id, column, text):
    """Puts `text` into the mutant's before/after cell, leaving the rest of the line as is."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for n, line in enumerate(lines):
        if re.match(r"^\|\s*%s\s*\|" % re.escape(mutant_id), line):
            cells = split_row(line)
            cells += [""] * (len(COLUMNS) - len(cells))
            cells[COLUMNS.index(column)] = text
            code = {"original", "replacement", "selection"}
            lines[n] = "| " + " | ".join(
                ("`%s`" % cell(c)) if COLUMNS[i] in code else cell(c)
                for i, c in enumerate(cells[:len(COLUMNS)])) + " |"
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def locate(tree, rel, original):
    """(path, note): the one file holding `original` exactly once, or (None, why)."""
    path = os.path.join(tree, rel)
    if os.path.isfile(path):
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            if f.read().count(original) == 1:
                return path, ""
    found = []
    for top in PRODUCT:
        for root, _, files in os.walk(os.path.join(tree, top)):
            for name in files:
                if not name.endswith((".cpp", ".h", ".c")):
                    continue
                p = os.path.join(root, name)
                with open(p, encoding="utf-8", errors="surrogateescape") as f:
                    n = f.read().count(original)
                found += [p] * n
    if len(found) == 1:
        return found[0], "moved to " + os.path.relpath(found[0], tree)
    return None, "stale: found %d times" % len(found)


def run(cmd, timeout, cwd=None, env=None):
    """(exit code or None on time-out, output). The command runs in a process group of its
    own, ended whole when it times out or this script is interrupted."""
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        return None, out
    except BaseException:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        raise


def build(build_dir, jobs):
    return run(["cmake", "--build", build_dir, "-j", str(jobs)], 1800)


def stages(selection, only=None):
    """The selection as ctest argument lists, one per label of its -L alternation (those in
    `only`, when given)."""
    args = shlex.split(selection)
    if "-L" in args:
        i = args.index("-L")
        labels = [lab for lab in args[i + 1].split("|") if not only or lab in only]
        rest = args[:i] + args[i + 2:]
        return [(lab, rest + ["-L", "^%s$" % lab]) for lab in labels]
    return [(selection, args)]


def failed_tests(output):
    names, on = [], False
    for line in output.splitlines():
        if "The following tests FAILED" in line:
            on = True
            continue
        m = re.match(r"\s*\d+ - (\S+) \((.*)\)", line) if on else None
        if m:
            names.append((m.group(1), m.group(2)))
    return names


def ctest(build_dir, args, timeout, jobs, exclude):
    cmd = ["xvfb-run", "-a", "-s", "-screen 0 " + SCREEN, "ctest", "--test-dir", build_dir,
           "-j", str(jobs), "--timeout", str(timeout), "--output-on-failure"] + args
    if exclude:
        cmd += ["-E", "^(" + "|".join(re.escape(x) for x in exclude) + ")$"]
    code, out = run(cmd, 3600)
    if code is None:
        return [("ctest", "timed out")], out
    ran = re.search(r"(\d+) tests failed out of (\d+)", out)
    none = "No tests were found" in out
    if code != 0 and not failed_tests(out) and not none:
        return [("ctest", "exit %s" % code)], out
    return failed_tests(out), out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--tree", required=True, help="source tree to plant in (its own checkout)")
    ap.add_argument("--build", help="its build folder (default TREE/build)")
    ap.add_argument("--list", default=LIST)
    ap.add_argument("--ids", help="comma-separated ids (default: all)")
    ap.add_argument("--record", choices=["before", "after"], help="write results into the list")
    ap.add_argument("--slow", action="store_true",
                    help="for a fault the selection misses, also run the slow label")
    ap.add_argument("--check", action="store_true", help="only locate the original texts")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=400, help="per test, seconds")
    ap.add_argument("--no-baseline", action="store_true",
                    help="skip finding the tests that fail without a fault")
    ap.add_argument("--exclude", default="",
                    help="comma-separated tests known to fail without a fault (with --no-baseline)")
    ap.add_argument("--labels",
                    help="run only these labels of each selection (comma-separated): a first, "
                         "cheaper pass; what it does not catch is recorded as 'not caught by ...'")
    ap.add_argument("--selection",
                    help="ctest selection to use instead of each row's (e.g. the one test added "
                         "for a fault: -R RunReportPhases)")
    ap.add_argument("--pending", action="store_true",
                    help="only rows whose --record cell is empty or 'not caught by ...'")
    a = ap.parse_args()
    tree = os.path.abspath(a.tree)
    build_dir = os.path.abspath(a.build or os.path.join(tree, "build"))
    if os.path.realpath(tree) == os.path.realpath(os.path.join(HERE, "..", "..")) and not a.check:
        raise SystemExit("run.py: plant in a tree of its own, not in this checkout")
    _, rows = read_mutants(a.list)
    if a.ids:
        wanted = set(a.ids.split(","))
        rows = [r for r in rows if r["id"] in wanted]
    if a.pending:
        if not a.record:
            raise SystemExit("run.py: --pending goes with --record")
        rows = [r for r in rows if not r[a.record] or r[a.record].startswith("not caught by")]
    a.only = a.labels.split(",") if a.labels else None
    if a.selection:
        for r in rows:
            r["selection"] = a.selection

    stale = 0
    for r in rows:
        path, note = locate(tree, r["file"], r["original"])
        r["path"], r["note"] = path, note
        if path is None:
            stale += 1
        if a.check or path is None or note:
            print("%-4s %-36s %s" % (r["id"], r["file"], note or "ok"), flush=True)
    if a.check:
        print("%d of %d found" % (len(rows) - stale, len(rows)))
        return 0 if stale == 0 else 1

    code, out = build(build_dir, a.jobs)
    if code != 0:
        sys.stderr.write(out[-3000:])
        raise SystemExit("run.py: the unplanted tree does not build")
    exclude = set(x for x in a.exclude.split(",") if x)
    if not a.no_baseline:
        selections = sorted({r["selection"] for r in rows})
        for sel in selections:
            for label, args in stages(sel, a.only):
                failed, _ = ctest(build_dir, args, a.timeout, a.jobs, ())
                exclude |= {n for n, _ in failed if n != "ctest"}
        if exclude:
            print("failing without a fault (not counted): " + ", ".join(sorted(exclude)),
                  flush=True)

    caught = total = 0
    for r in rows:
        if r["path"] is None:
            result = "stale"
        else:
            total += 1
            result = plant_and_test(r, build_dir, a, exclude)
            if result.startswith("caught"):
                caught += 1
        print("%-4s %s" % (r["id"], result), flush=True)
        if a.record:
            write_result(a.list, r["id"], a.record, result)
    print("score: %d caught of %d planted (%d stale)" % (caught, total, stale))
    build(build_dir, a.jobs)  # leave the build matching the restored sources
    return 0


def plant_and_test(r, build_dir, a, exclude):
    with open(r["path"], "rb") as f:
        saved = f.read()
    text = saved.decode("utf-8", errors="surrogateescape")
    planted = text.replace(r["original"], r["replacement"], 1)
    started = time.time()
    try:
        with open(r["path"], "wb") as f:
            f.write(planted.encode("utf-8", errors="surrogateescape"))
        code, out = build(build_dir, a.jobs)
        if code != 0:
            return "does not build"
        plan = stages(r["selection"], a.only)
        if a.slow:
            plan.append(("slow", ["-L", "^slow$"]))
        for label, args in plan:
            failed, _ = ctest(build_dir, args, a.timeout, a.jobs, exclude)
            if failed and failed[0][0] == "ctest":
                return "error: ctest %s" % failed[0][1]
            if failed:
                names = ", ".join(n for n, _ in failed[:6])
                more = " and %d more" % (len(failed) - 6) if len(failed) > 6 else ""
                return "caught (%s%s%s)" % (names, more, ", slow" if label == "slow" else "")
        if a.only:
            return "not caught by " + "|".join(lab for lab, _ in plan)
        return "missed"
    finally:
        with open(r["path"], "wb") as f:
            f.write(saved)
        sys.stderr.write("  %s: %.0f s\n" % (r["id"], time.time() - started))


if __name__ == "__main__":
    sys.exit(main())
