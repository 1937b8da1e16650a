#!/usr/bin/python3
"""Plants plausible faults one at a time in a copy of the source tree and runs the whole
suite against each: every fault must make some test fail.

    make mutants                       # or: tools/mutants.py [--only WORD] [--keep]

The faults are listed in tools/mutants.txt, one block each:

    ## what the fault is
    file: path/relative/to/the/repository
    - exact original line(s)
    + replacement line(s)

The original must occur exactly once in the file. Lines are matched with their leading
whitespace removed, so the list survives re-indentation. Prints one row per fault with the
first test that caught it, and exits non-zero when any fault survived.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse(path):
    mutants = []
    for block in re.split(r"^## ", open(path).read(), flags=re.M)[1:]:
        lines = block.splitlines()
        m = {"name": lines[0].strip(), "file": None, "old": [], "new": []}
        for line in lines[1:]:
            if line.startswith("file:"):
                m["file"] = line[5:].strip()
            elif line.startswith("- ") or line == "-":
                m["old"].append(line[2:])
            elif line.startswith("+ ") or line == "+":
                m["new"].append(line[2:])
        if not m["file"] or not m["old"]:
            sys.exit("mutants.txt: incomplete entry '%s'" % m["name"])
        mutants.append(m)
    return mutants


def apply(text, mutant):
    """The file text with the fault planted; the original lines are found by content with
    leading whitespace ignored, and the replacement takes the first line's indentation."""
    lines = text.split("\n")
    want = [l.strip() for l in mutant["old"]]
    hits = [i for i in range(len(lines) - len(want) + 1)
            if [l.strip() for l in lines[i:i + len(want)]] == want]
    if len(hits) != 1:
        raise ValueError("%s: the original occurs %d times in %s" %
                         (mutant["name"], len(hits), mutant["file"]))
    i = hits[0]
    indent = lines[i][:len(lines[i]) - len(lines[i].lstrip())]
    return "\n".join(lines[:i] + [indent + l.strip() for l in mutant["new"]] +
                     lines[i + len(want):])


def run(cmd, cwd, log):
    with open(log, "w") as out:
        return subprocess.call(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT)


def first_failure(log):
    text = open(log, errors="replace").read()
    m = re.search(r"The following tests FAILED:\s*\n\s*\d+ - (\S+)", text)
    return m.group(1) if m else "(see %s)" % log


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--only", help="run only faults whose description contains this word")
    ap.add_argument("--keep", action="store_true", help="keep the work tree")
    args = ap.parse_args()
    mutants = parse(os.path.join(REPO, "tools", "mutants.txt"))
    if args.only:
        mutants = [m for m in mutants if args.only.lower() in m["name"].lower()]

    work = tempfile.mkdtemp(prefix="rdr-mutants.")
    src, build = os.path.join(work, "src"), os.path.join(work, "build")
    files = subprocess.check_output(["git", "ls-files", "-co", "--exclude-standard"],
                                    cwd=REPO, text=True).split("\n")
    for f in filter(None, files):
        if os.path.isfile(os.path.join(REPO, f)):
            os.makedirs(os.path.dirname(os.path.join(src, f)), exist_ok=True)
            shutil.copy2(os.path.join(REPO, f), os.path.join(src, f))
    shared = os.path.normpath(os.path.join(REPO, "..", "shared", "data"))
    jobs = str(os.cpu_count() or 2)
    ctest = ["ctest", "-j", jobs, "--stop-on-failure", "--output-on-failure"]
    print("work tree %s" % work, flush=True)
    if run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
            "-DRDR_SHARED_DATA_DIR=" + shared], work, os.path.join(work, "configure.log")) or \
            run(["cmake", "--build", build, "-j", jobs], work, os.path.join(work, "build.log")):
        sys.exit("mutants: the unchanged tree does not build (%s)" % work)
    if run(ctest, build, os.path.join(work, "baseline.log")):
        sys.exit("mutants: the unchanged tree fails its tests (%s/baseline.log)" % work)

    survivors = 0
    print("%-3s %-66s %-8s %s" % ("#", "fault", "result", "first failing test"))
    for n, m in enumerate(mutants, 1):
        path = os.path.join(src, m["file"])
        original = open(path).read()
        log = os.path.join(work, "mutant%02d.log" % n)
        start = time.time()
        try:
            open(path, "w").write(apply(original, m))
            if run(["cmake", "--build", build, "-j", jobs], work, log):
                result, test = "nobuild", "(does not compile: fix the entry)"
                survivors += 1
            elif run(ctest, build, log):
                result, test = "caught", first_failure(log)
            else:
                result, test = "SURVIVED", ""
                survivors += 1
        finally:
            open(path, "w").write(original)
        print("%-3d %-66s %-8s %s (%.0f s)" % (n, m["name"][:66], result, test,
                                               time.time() - start), flush=True)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    print("%d faults, %d caught, %d not" % (len(mutants), len(mutants) - survivors, survivors))
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
