#!/usr/bin/env bash
# Runs the seeded faults of mutants.txt against the test suite.
#
#   run.sh [--rev REV] [--check] [--out FILE] [SOURCE_DIR] [ID ...]
#
# SOURCE_DIR   the tree to measure (default: the repository holding this script).
#              Its git-tracked files are copied as they are in the working tree,
#              or, with --rev, as they are in commit REV.
# ID ...       run only these faults (default: all).
# --check      only report whether each fault's snippet occurs exactly once.
# --out FILE   also write the result table to FILE.
#
# The copy lives in $MUTANTS_WORK (default /tmp/mutants): src/ is the copy,
# build/ its build folder, logs/ the build and test output of every fault.
# The source tree itself is never written to.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exec python3 - "$here" "$@" <<'PY'
import os, re, shutil, subprocess, sys, tarfile, io, time

here = sys.argv[1]
args = sys.argv[2:]
rev, check_only, out_file, source, ids = None, False, None, None, []
i = 0
while i < len(args):
    a = args[i]
    if a == "--rev":
        rev = args[i + 1]; i += 2; continue
    if a == "--out":
        out_file = os.path.abspath(args[i + 1]); i += 2; continue
    if a == "--check":
        check_only = True
    elif a in ("-h", "--help"):
        print(open(os.path.join(here, "run.sh")).read().split("set -euo")[0]); sys.exit(0)
    elif source is None and not ids and os.path.isdir(a):
        source = os.path.abspath(a)
    else:
        ids.append(a)
    i += 1
if source is None:
    source = subprocess.run(["git", "-C", here, "rev-parse", "--show-toplevel"],
                            capture_output=True, text=True, check=True).stdout.strip()
work = os.environ.get("MUTANTS_WORK", "/tmp/mutants")
src, build_dir, logs = (os.path.join(work, d) for d in ("src", "build", "logs"))
if os.path.realpath(work).startswith(os.path.realpath(source) + os.sep) or os.path.realpath(work) == os.path.realpath(source):
    sys.exit("run.sh: MUTANTS_WORK must lie outside the source tree")


def parse(path):
    faults, lines, n = [], open(path, encoding="utf-8").read().split("\n"), 0
    while n < len(lines):
        m = re.match(r"^\[(\w+)\]\s+(\S+)\s*$", lines[n])
        if not m:
            if lines[n].strip() and not lines[n].startswith("#"):
                sys.exit(f"{path}:{n + 1}: expected '[ID] file', got {lines[n]!r}")
            n += 1
            continue
        fid, file = m.groups()
        desc = lines[n + 1].removeprefix("desc:").strip()
        if not lines[n + 1].startswith("desc:") or lines[n + 2] != "<<<":
            sys.exit(f"{path}:{n + 2}: entry {fid} needs 'desc:' and then '<<<'")
        n += 3
        orig = []
        while lines[n] != "===":
            orig.append(lines[n]); n += 1
        n += 1
        repl = []
        while lines[n] != ">>>":
            repl.append(lines[n]); n += 1
        n += 1
        faults.append(dict(id=fid, file=file, desc=desc, orig="\n".join(orig), repl="\n".join(repl)))
    seen = set()
    for f in faults:
        if f["id"] in seen:
            sys.exit(f"{path}: duplicate id {f['id']}")
        seen.add(f["id"])
    return faults


faults = parse(os.path.join(here, "mutants.txt"))
if ids:
    unknown = set(ids) - {f["id"] for f in faults}
    if unknown:
        sys.exit("run.sh: unknown ids: " + " ".join(sorted(unknown)))
    faults = [f for f in faults if f["id"] in ids]


def tracked_files():
    """Maps each relative path of the tree to its bytes."""
    if rev:
        data = subprocess.run(["git", "-C", source, "archive", rev], capture_output=True, check=True).stdout
        with tarfile.open(fileobj=io.BytesIO(data)) as t:
            return {m.name: t.extractfile(m).read() for m in t.getmembers() if m.isfile()}
    names = subprocess.run(["git", "-C", source, "ls-files", "-z"], capture_output=True, check=True).stdout
    files = {}
    for name in names.decode().split("\0"):
        p = os.path.join(source, name)
        if name and os.path.isfile(p) and not os.path.islink(p):
            files[name] = open(p, "rb").read()
    return files


def sync(files):
    """Makes src/ hold exactly these files. A file is rewritten only when its
    bytes differ, so its new time stamp makes the incremental build redo it."""
    os.makedirs(src, exist_ok=True)
    for name, data in files.items():
        p = os.path.join(src, name)
        if os.path.isfile(p) and open(p, "rb").read() == data:
            continue
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)
    for root, _, names in os.walk(src):
        for n in names:
            rel = os.path.relpath(os.path.join(root, n), src)
            if rel not in files:
                os.remove(os.path.join(root, n))


def occurrences(f):
    p = os.path.join(src, f["file"])
    return open(p, encoding="utf-8").read().count(f["orig"]) if os.path.isfile(p) else 0


def run(cmd, log, **kw):
    with open(log, "w") as out:
        return subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, **kw).returncode


def build(log):
    if not os.path.exists(os.path.join(build_dir, "build.ninja")):
        rc = run(["cmake", "-S", src, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                  "-DVANTOREL_BUILD_BENCHMARKS=OFF"], log + ".configure")
        if rc:
            return rc
    return run(["ninja", "-C", build_dir, "-j2"], log)


def test(log):
    """Runs the whole suite; returns the failing tests in the suite's order."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    rc = run(["ctest", "-j2", "--timeout", "300"], log, cwd=build_dir, env=env)
    text = open(log, errors="replace").read()
    failed = re.findall(r"^\s*(\d+) - (\S+) \(", text.split("The following tests FAILED:")[-1], re.M) \
        if "The following tests FAILED:" in text else []
    names = [n for _, n in sorted(failed, key=lambda t: int(t[0]))]
    if rc and not names:
        names = ["(ctest error, see log)"]
    return names



os.makedirs(logs, exist_ok=True)
started = time.time()
files = tracked_files()
sync(files)
label = f"{source} at {rev}" if rev else f"{source} (working tree)"
if rev:
    label += " = " + subprocess.run(["git", "-C", source, "rev-parse", "--short", rev],
                                    capture_output=True, text=True).stdout.strip()

if not check_only:
    print(f"building the unchanged copy of {label} in {build_dir} ...", flush=True)
    if build(os.path.join(logs, "baseline.build.log")):
        sys.exit(f"run.sh: the unchanged tree does not build; see {logs}/baseline.build.log")
    baseline = test(os.path.join(logs, "baseline.test.log"))
    if baseline:
        sys.exit("run.sh: the unchanged suite fails (" + ", ".join(baseline) + f"); see {logs}/baseline.test.log")

rows = []
for f in faults:
    t0 = time.time()
    count = occurrences(f)
    if count != 1:
        rows.append((f, "-", f"does not apply (snippet found {count} times)"))
    elif check_only:
        rows.append((f, "-", "applies"))
    else:
        p = os.path.join(src, f["file"])
        original = files[f["file"]]
        try:
            with open(p, "w", encoding="utf-8") as out:
                out.write(original.decode("utf-8").replace(f["orig"], f["repl"], 1))
            if build(os.path.join(logs, f["id"] + ".build.log")):
                rows.append((f, "-", "not applicable: does not compile"))
            else:
                failed = test(os.path.join(logs, f["id"] + ".test.log"))
                if failed:
                    more = f" (+{len(failed) - 1} more)" if len(failed) > 1 else ""
                    rows.append((f, failed[0] + more, "caught"))
                else:
                    rows.append((f, "-", "SURVIVED"))
        finally:
            with open(p, "wb") as out:  # the next build redoes this file from its new time stamp
                out.write(original)
    print(f"{f['id']}: {rows[-1][2]} {rows[-1][1] if rows[-1][1] != '-' else ''} ({time.time() - t0:.0f} s)",
          file=sys.stderr, flush=True)

table = [f"Seeded faults run against {label}", "",
         "id | file | description | caught by (first failing test) | result",
         "---|---|---|---|---"]
table += [f"{f['id']} | {f['file']} | {f['desc']} | {by} | {res}" for f, by, res in rows]
totals = {}
for _, _, res in rows:
    key = res.split(" (")[0]
    totals[key] = totals.get(key, 0) + 1
table += ["", f"Totals: {len(rows)} faults; " + "; ".join(f"{k}: {v}" for k, v in sorted(totals.items())),
          f"Wall time: {time.time() - started:.0f} s"]
print("\n".join(table))
if out_file:
    with open(out_file, "w") as out:
        out.write("\n".join(table) + "\n")
PY
