#!/usr/bin/env python3
"""What the tests cover, read from a --coverage build (./run coverage).

  coverage.py summary BUILD   line and branch coverage per product folder from
                              the counters the ctest run left in BUILD (gcovr;
                              also writes BUILD/html/index.html)
  coverage.py cases BUILD EXE... [--skip REGEX]
                              runs each GoogleTest case of EXE alone (but those
                              whose name REGEX matches) and names
                              the cases that cover no product line and no
                              branch outcome that some other case does not
  coverage.py e2e BUILD       runs each CTest test that is neither a GoogleTest
                              case nor a fuzz replay alone and names the cases
                              of BUILD/cases.json (from `cases`) whose lines
                              and branch outcomes that no other case reaches
                              such a test reaches
  coverage.py ratio           test lines per product line

Each case runs with GCOV_PREFIX set to a folder of its own, so its counters
start at zero and two cases run side by side; gcov reads them back as JSON.
"""

import concurrent.futures
import json
import os
import re
import subprocess
import sys
import tempfile
from collections import Counter, defaultdict

SOURCE = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
PRODUCT = ("app", "errors", "mail", "platform", "report", "runtime", "sysutil", "ui", "apps",
           "include")


def product_path(path):
    """The path relative to the tree when it is product code, else None."""
    path = os.path.relpath(os.path.realpath(path), SOURCE)
    return path if path.split(os.sep, 1)[0] in PRODUCT else None


def code_lines(path):
    """Lines that are neither blank nor comment (// and /* */ lines)."""
    n, in_block = 0, False
    with open(path, errors="replace") as f:
        for line in f:
            t = line.strip()
            if in_block:
                in_block = "*/" not in t
                continue
            if not t or t.startswith("//"):
                continue
            if t.startswith("/*"):
                in_block = "*/" not in t
                continue
            n += 1
    return n


def ratio():
    files = subprocess.run(["git", "ls-files", "*.cpp", "*.h", "*.inc"], cwd=SOURCE, text=True,
                           capture_output=True, check=True).stdout.split()
    tests = sum(code_lines(os.path.join(SOURCE, f)) for f in files if f.startswith("tests/"))
    code = sum(code_lines(os.path.join(SOURCE, f)) for f in files
               if not f.startswith(("tests/", "bench/", "examples/")))
    print(f"test lines {tests}, product lines {code}: tests are {100 * tests / code:.1f}% of the code")


def table(rows):
    """rows: folder -> [lines hit, lines, branches taken, branches]."""
    print(f"{'folder':10} {'lines':>16} {'branches':>18}")
    total = [0, 0, 0, 0]
    for folder in sorted(rows):
        r = rows[folder]
        total = [a + b for a, b in zip(total, r)]
        print(f"{folder + '/':10} {r[0]:6}/{r[1]:<6} {pct(r[0], r[1]):>4} {r[2]:6}/{r[3]:<6} {pct(r[2], r[3]):>5}")
    print(f"{'all':10} {total[0]:6}/{total[1]:<6} {pct(total[0], total[1]):>4} "
          f"{total[2]:6}/{total[3]:<6} {pct(total[2], total[3]):>5}")


def pct(a, b):
    return f"{100 * a / b:.1f}%" if b else "-"


def summary(build):
    report = os.path.join(build, "coverage.json")
    html = os.path.join(build, "html")
    os.makedirs(html, exist_ok=True)
    filters = [f"--filter={SOURCE}/{p}/" for p in PRODUCT]
    # CMake's compiler checks leave notes of their own there.
    checks = "--exclude-directories=.*/CMakeFiles/[0-9.]+$"
    subprocess.run(["gcovr", "--root", SOURCE, "--object-directory", build, *filters, checks, "-j", "2",
                    "--exclude-unreachable-branches", "--exclude-throw-branches", "--json", report,
                    "--html-details", os.path.join(html, "index.html")], check=True)
    rows = defaultdict(lambda: [0, 0, 0, 0])
    for f in json.load(open(report))["files"]:
        r = rows[f["file"].split("/", 1)[0]]
        for line in f["lines"]:
            if line.get("gcovr/noncode"):
                continue
            r[1] += 1
            r[0] += line["count"] > 0
            r[3] += len(line["branches"])
            r[2] += sum(b["count"] > 0 for b in line["branches"])
    table(rows)
    print(f"HTML: {os.path.join(html, 'index.html')}")


def list_cases(exe):
    out = subprocess.run([exe, "--gtest_list_tests"], text=True, capture_output=True,
                         check=True).stdout
    suite, cases = "", []
    for line in out.splitlines():
        if not line.strip():
            continue
        name = line.split("#")[0].strip()
        if not line.startswith(" "):
            suite = name
        elif not name.startswith("DISABLED_") and not suite.startswith("DISABLED_"):
            cases.append(suite + name)
    return cases


def gcov_json(folder):
    """{key: hit} for one case's counters: ("L", file, line) and ("B", file, line, i)."""
    # The product's objects only: the test executables' own are many times
    # larger and hold no product line but what product headers inline.
    tests = os.path.join(PREFIX_OF[folder], "tests")
    gcdas = [os.path.join(d, f) for d, _, fs in os.walk(folder) for f in fs
             if f.endswith(".gcda") and not d.startswith(tests)]
    covered = set()
    for gcda in gcdas:
        # gcov finds the notes file beside the counters.
        notes = os.path.join(BUILD_REAL, os.path.relpath(gcda[:-5], PREFIX_OF[folder])) + ".gcno"
        if not os.path.exists(notes):
            continue
        link = gcda[:-5] + ".gcno"
        if not os.path.exists(link):
            os.symlink(notes, link)
    if not gcdas:
        return covered
    # Branches (-b) of the tree's own sources only (-r: relative to -s).
    out = subprocess.run(["gcov", "-b", "-r", "-s", SOURCE, "--json-format", "--stdout", *gcdas],
                         cwd=folder,
                         capture_output=True).stdout
    for doc in out.decode(errors="replace").splitlines():
        if not doc.startswith("{"):
            continue
        doc = json.loads(doc)
        for f in doc["files"]:
            path = product_path(os.path.join(doc.get("current_working_directory", ""), f["file"]))
            if not path:
                continue
            seen = Counter()
            for line in f["lines"]:
                n = line["line_number"]
                if line["count"] > 0:
                    covered.add(("L", path, n))
                for b in line["branches"]:
                    i = seen[n]
                    seen[n] += 1
                    if b["count"] > 0 and not b.get("throw"):
                        covered.add(("B", path, n, i))
    return covered


PREFIX_OF = {}
BUILD_REAL = ""


def run_case(exe, case, folder, cwd):
    env = dict(os.environ, GCOV_PREFIX=folder, GCOV_PREFIX_STRIP="0")
    try:
        ok = subprocess.run([exe, f"--gtest_filter={case}"], cwd=cwd, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            stdin=subprocess.DEVNULL, timeout=300).returncode == 0
    except subprocess.TimeoutExpired:
        ok = False
    covered = gcov_json(folder)
    subprocess.run(["rm", "-rf", folder])
    return covered, ok


def cases(build, exes, skip=None):
    global BUILD_REAL
    BUILD_REAL = os.path.realpath(build)
    cwd = os.path.join(BUILD_REAL, "tests")
    jobs = int(os.environ.get("TAMBERLIN_COVERAGE_JOBS", "2"))
    work = tempfile.mkdtemp(prefix="cases-", dir=BUILD_REAL)
    exes = [os.path.realpath(exe) for exe in exes]
    todo = [(exe, case) for exe in exes for case in list_cases(exe)
            if not (skip and re.search(skip, case))]
    results, failed = {}, []
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        futures = {}
        for i, (exe, case) in enumerate(todo):
            folder = os.path.join(work, str(i))
            # GCOV_PREFIX puts the counters under the folder at their full path.
            PREFIX_OF[folder] = folder + BUILD_REAL
            futures[pool.submit(run_case, exe, case, folder, cwd)] = (exe, case)
        for future in concurrent.futures.as_completed(futures):
            key = futures[future]
            results[key], ok = future.result()
            if not ok:
                failed.append(key)
    os.rmdir(work)
    # Each case's lines and branch outcomes, for a closer look.
    with open(os.path.join(BUILD_REAL, "cases.json"), "w") as out:
        json.dump({f"{os.path.basename(exe)} {case}": sorted(covered)
                   for (exe, case), covered in results.items()}, out)
    counts = Counter(k for covered in results.values() for k in covered)
    rows = defaultdict(lambda: [0, 0, 0, 0])
    for k in counts:
        rows[k[1].split(os.sep, 1)[0]][0 if k[0] == "L" else 2] += 1
    print(f"{len(todo)} cases alone; what they cover together (lines and branch outcomes hit):")
    for folder, r in sorted(rows.items()):
        print(f"  {folder + '/':10} {r[0]:6} lines {r[2]:6} branch outcomes")
    print("Cases that cover nothing another case does not also cover (merge or drop):")
    n = 0
    for (exe, case), covered in sorted(results.items()):
        if all(counts[k] > 1 for k in covered):
            n += 1
            lines = sum(k[0] == "L" for k in covered)
            print(f"  {os.path.basename(exe):16} {case}  ({lines} lines, all shared)")
    print(f"{n} of {len(todo)} cases")
    for exe, case in failed:
        print(f"FAILED alone: {os.path.basename(exe)} {case}", file=sys.stderr)
    return 1 if failed else 0


def e2e(build):
    """The cases whose own lines (those no other case reaches) an end-to-end
    test reaches too: drop those whose values that test checks as well."""
    global BUILD_REAL
    BUILD_REAL = os.path.realpath(build)
    listed = json.loads(subprocess.run(["ctest", "--show-only=json-v1"], cwd=BUILD_REAL, text=True,
                                       capture_output=True, check=True).stdout)["tests"]
    gtest = tuple(os.path.join(BUILD_REAL, "tests", exe) for exe in
                  ("unit_tests", "platform_tests", "mail_tests"))
    names = [t["name"] for t in listed if t.get("command") and
             not t["command"][0].startswith(gtest) and "/fuzz/" not in t["command"][0]]
    work = tempfile.mkdtemp(prefix="e2e-", dir=BUILD_REAL)
    reached = {}
    for i, name in enumerate(names):
        folder = os.path.join(work, str(i))
        PREFIX_OF[folder] = folder + BUILD_REAL
        env = dict(os.environ, GCOV_PREFIX=folder, GCOV_PREFIX_STRIP="0")
        exact = "^" + re.sub(r"([][.+*?^$()|\\])", r"\\\1", name) + "$"
        rc = subprocess.run(["ctest", "-R", exact], cwd=BUILD_REAL, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        reached[name] = gcov_json(folder)
        subprocess.run(["rm", "-rf", folder])
        print(f"  {name}: {sum(k[0] == 'L' for k in reached[name])} lines"
              f"{'' if rc == 0 else ' (FAILED)'}")
    os.rmdir(work)
    with open(os.path.join(BUILD_REAL, "e2e.json"), "w") as out:
        json.dump({name: sorted(got) for name, got in reached.items()}, out)
    together = set().union(*reached.values())
    # What only one case reaches (the seams every case goes through, which
    # no program does, are shared and so left out).
    cases = {case: {tuple(k) for k in keys}
             for case, keys in json.load(open(os.path.join(BUILD_REAL, "cases.json"))).items()}
    counts = Counter(k for keys in cases.values() for k in keys)
    print("Cases whose lines and branch outcomes that no other case reaches an end-to-end test "
          "reaches (drop where it checks the same values):")
    n = 0
    for case, keys in sorted(cases.items()):
        own = {k for k in keys if counts[k] == 1}
        if own and own <= together:
            n += 1
            by = [name for name, got in reached.items() if own <= got]
            print(f"  {case}  ({sum(k[0] == 'L' for k in own)} lines of its own) "
                  f"{', '.join(by) if by else 'the end-to-end tests together'}")
    print(f"{n} cases")
    return 0


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "ratio":
        ratio()
    elif command == "e2e" and len(sys.argv) == 3:
        sys.exit(e2e(sys.argv[2]))
    elif command == "summary" and len(sys.argv) == 3:
        summary(sys.argv[2])
    elif command == "cases" and len(sys.argv) > 3:
        args = sys.argv[3:]
        skip = None
        if len(args) > 2 and args[-2] == "--skip":
            skip, args = args[-1], args[:-2]
        sys.exit(cases(sys.argv[2], args, skip))
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
