#!/usr/bin/env python3
"""Mutation check: do the tests notice when the code is changed?

Copies the checkout (as it is in the working tree) to a temporary folder, builds it once
with Ninja, then for each of N mutants changes one operator in one product source file
(== and !=, && and ||, < and <=, > and >=, true and false, a "+ 1" or "- 1" dropped),
rebuilds incrementally and runs the CTest tests whose programs are built from that file. A
mutant that makes a test fail is killed; one that passes them all survived and points at a
behaviour no test looks at.

    scripts/mutate.py [--seed S] [--count N] [--since REV] [PATH...]

PATH (default: src tools) names folders or files to take mutants from; test sources and
Windows-only code are never chosen. --since REV takes them only from the files changed since
REV (committed or not). The choice depends on the seed and on each site's file, line text
and operator, not on line numbers, so the same seed picks the same mutants after unrelated
edits. Each CTest run is held in a network namespace of its own where this machine allows
one, so that port 9003 is never in use, and in a process namespace whose end takes every
process a killed test left behind with it.
"""

import argparse
import dataclasses
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCE_SUFFIXES = {".cpp", ".h"}

# The Debian package's check builds a package and runs lintian, minutes that tell nothing more
# about a mutant. The browser test, Wine and the fuzz targets are not CTest tests at all.
DEFAULT_EXCLUDE = r"^deb_package$"

# Each operator with its replacement. The binary operators must stand between blanks (or at a
# line's end), as clang-format writes them, so that template brackets, "->", "<<" and
# reference declarations are never taken for them.
BLANK_BEFORE = r"(?<=\s)"
BLANK_AFTER = r"(?=\s|$)"
OPERATORS = [
    (BLANK_BEFORE + r"==" + BLANK_AFTER, "!="),
    (BLANK_BEFORE + r"!=" + BLANK_AFTER, "=="),
    (BLANK_BEFORE + r"&&" + BLANK_AFTER, "||"),
    (BLANK_BEFORE + r"\|\|" + BLANK_AFTER, "&&"),
    (BLANK_BEFORE + r"<" + BLANK_AFTER, "<="),
    (BLANK_BEFORE + r"<=" + BLANK_AFTER, "<"),
    (BLANK_BEFORE + r">" + BLANK_AFTER, ">="),
    (BLANK_BEFORE + r">=" + BLANK_AFTER, ">"),
    (r"\btrue\b", "false"),
    (r"\bfalse\b", "true"),
    (r" \+ 1(?![\w.'])", ""),
    (r" - 1(?![\w.'])", ""),
]


@dataclasses.dataclass
class Mutant:
    path: str  # relative to the checkout
    line: int  # 1-based
    column: int  # 0-based, in the line
    before: str
    after: str
    key: str = ""  # orders the sites for the seeded choice

    def where(self):
        return f"{self.path}:{self.line}"


def code_only(text):
    """The text with comments and string and character literals blanked, lines kept."""
    out = []
    i = 0
    while i < len(text):
        end = end_of_literal_or_comment(text, i)
        if end is None:
            out.append(text[i])
            i += 1
        else:
            out.append("".join(c if c == "\n" else " " for c in text[i:end]))
            i = end
    return "".join(out)


def end_of_literal_or_comment(text, i):
    """Where the comment or literal that starts at `i` ends; None when none starts there."""
    n = len(text)
    raw = re.match(r'R"([^(\s]*)\(', text[i:i + 20]) if text[i] == "R" else None
    if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
        end = text.find(")" + raw.group(1) + '"', i)
        return n if end < 0 else end + len(raw.group(1)) + 2
    if text.startswith("//", i):
        end = text.find("\n", i)
        return n if end < 0 else end
    if text.startswith("/*", i):
        end = text.find("*/", i + 2)
        return n if end < 0 else end + 2
    # A quote after a digit or letter is a digit separator (1'000) or part of a name.
    if text[i] == '"' or (text[i] == "'" and not (i > 0 and text[i - 1].isalnum())):
        end = i + 1
        while end < n and text[end] not in (text[i], "\n"):
            end += 2 if text[end] == "\\" else 1
        return min(end + 1, n)
    return None


def windows_only_lines(code_lines):
    """The indexes of preprocessor lines and of lines compiled only for Windows."""
    skipped = set()
    stack = []  # per open conditional: "windows", "posix" or "other"
    continued = False
    for index, line in enumerate(code_lines):
        stripped = line.strip()
        directive = continued or stripped.startswith("#")
        continued = directive and stripped.endswith("\\")
        if stripped.startswith("#"):
            word = re.match(r"#\s*(\w+)", stripped)
            word = word.group(1) if word else ""
            if word in ("if", "ifdef", "ifndef"):
                stack.append(conditional_kind(word, stripped))
            elif word in ("else", "elif") and stack:
                flipped = {"windows": "posix", "posix": "windows"}
                stack[-1] = flipped.get(stack[-1], "other") if word == "else" else "other"
            elif word == "endif" and stack:
                stack.pop()
        if directive or "windows" in stack:
            skipped.add(index)
    return skipped


def conditional_kind(word, directive):
    if not re.search(r"\b_WIN32\b", directive):
        return "other"
    negated = word == "ifndef" or re.search(r"!\s*defined", directive)
    return "posix" if negated else "windows"


def sites_in(relative, text):
    code_lines = code_only(text).split("\n")
    skipped = windows_only_lines(code_lines)
    text_lines = text.split("\n")
    seen = {}
    for index, line in enumerate(code_lines):
        if index in skipped:
            continue
        for pattern, after in OPERATORS:
            for match in re.finditer(pattern, line):
                mutant = Mutant(relative, index + 1, match.start(), match.group(0), after)
                indent = len(line) - len(line.lstrip())
                identity = (text_lines[index].strip(), pattern, match.start() - indent)
                seen[identity] = seen.get(identity, 0) + 1
                mutant.key = "\0".join([relative, *map(str, identity), str(seen[identity])])
                yield mutant


def is_product_source(relative):
    path = Path(relative)
    return (path.suffix in SOURCE_SUFFIXES and "tests" not in path.parts
            and not path.stem.endswith(("_test", "_win32")))


def candidate_files(checkout, paths, since):
    listed = git(checkout, "ls-files", "--cached", "--others", "--exclude-standard", "--",
                 *paths).split("\n")
    files = {name for name in listed if name and is_product_source(name)}
    if since:
        changed = git(checkout, "diff", "--name-only", since, "--").split("\n")
        files &= set(changed)
    return sorted(name for name in files if (checkout / name).is_file())


def choose(checkout, files, seed, count):
    sites = []
    for relative in files:
        sites.extend(sites_in(relative, (checkout / relative).read_text(encoding="utf-8")))
    for site in sites:
        site.key = hashlib.sha256(f"{seed}\0{site.key}".encode()).hexdigest()
    chosen = sorted(sites, key=lambda site: site.key)[:count]
    return len(sites), sorted(chosen, key=lambda site: (site.path, site.line, site.column))


def git(checkout, *arguments):
    return subprocess.run(["git", "-C", str(checkout), *arguments], check=True,
                          capture_output=True, text=True).stdout


def copy_checkout(checkout, target):
    listed = git(checkout, "ls-files", "--cached", "--others", "--exclude-standard", "-z")
    for name in filter(None, listed.split("\0")):
        source = checkout / name
        if not (source.exists() or source.is_symlink()):
            continue  # deleted in the working tree
        (target / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(source, target / name, follow_symlinks=False)


class Isolation:
    """Runs commands in network and process namespaces of their own where it can, and ends
    every process left behind by one run, whatever process group or session it moved to."""

    LOOPBACK_UP = 'ip link set lo up && exec "$@"'

    def __init__(self):
        self.prefix = []
        self.token = f"{os.getpid()}-{time.time_ns()}"
        for extra in ([], ["--user", "--map-root-user"]):
            prefix = ["unshare", *extra, "--net", "--pid", "--fork", "--kill-child", "--",
                      "sh", "-c", self.LOOPBACK_UP, "sh"]
            if shutil.which("unshare") and quiet_run(prefix + ["true"]) == 0:
                self.prefix = prefix
                break

    def describe(self):
        if self.prefix:
            return "network and process namespaces of their own"
        return "this machine's network (no namespace allowed): port 9003 must be free"

    def run(self, command, cwd, timeout):
        environment = dict(os.environ, MUTATE_RUN=self.token)
        process = subprocess.Popen(self.prefix + command, cwd=cwd, env=environment,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        finally:
            self.end_left_behind(process)

    def end_left_behind(self, process):
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()
        # A test may start processes in a session of their own, which the group misses; they
        # still carry the run's mark in their environment.
        mark = f"MUTATE_RUN={self.token}".encode()
        for entry in Path("/proc").iterdir():
            if entry.name.isdigit() and mark in read_environment(entry):
                try:
                    os.kill(int(entry.name), signal.SIGKILL)
                except ProcessLookupError:
                    pass


def read_environment(process_folder):
    try:
        return (process_folder / "environ").read_bytes().split(b"\0")
    except OSError:
        return []  # ended meanwhile, or not ours to read


def quiet_run(command, **options):
    return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          **options).returncode


class Workspace:
    """The copied checkout, its build and its test runs."""

    def __init__(self, folder, options, isolation):
        self.folder = folder
        self.build = folder / "build"
        self.options = options
        self.isolation = isolation
        self.tests = []  # (CTest's number, the executable's path relative to the build)
        self.inputs = {}  # executable: every file its build reads, its helper programs' too
        # Compilations are cached apart from the folder's name, so that a later run's first
        # build is mostly cache hits.
        self.environment = dict(os.environ, CCACHE_BASEDIR=str(folder), CCACHE_NOHASHDIR="1")

    def configure(self):
        launcher = []
        if shutil.which("ccache"):
            launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache",
                        "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        subprocess.run(["cmake", "-S", str(self.folder), "-B", str(self.build), "-G", "Ninja",
                        *launcher], check=True, env=self.environment,
                       stdout=subprocess.DEVNULL)

    def compile(self, targets=()):
        """Ninja's output when the build failed, None when it succeeded."""
        command = ["ninja", "-C", str(self.build), f"-j{self.options.jobs}", *targets]
        built = subprocess.run(command, env=self.environment, capture_output=True, text=True)
        return None if built.returncode == 0 else built.stdout + built.stderr

    def learn_tests(self):
        """Which test runs which executable, and which files each executable is built from:
        ninja's inputs include the programs a test starts (the program under test, the
        virtual printer), as the tests' targets depend on them."""
        listed = subprocess.run(["ctest", "--test-dir", str(self.build),
                                 "--show-only=json-v1"], check=True, capture_output=True,
                                text=True).stdout
        for number, test in enumerate(json.loads(listed)["tests"], start=1):
            executable = os.path.relpath(test["command"][0], self.build)
            self.tests.append((number, executable))
            if executable not in self.inputs:
                self.inputs[executable] = self.inputs_of(executable)

    def inputs_of(self, executable):
        found = subprocess.run(["ninja", "-C", str(self.build), "-t", "inputs", executable],
                               capture_output=True, text=True)
        if found.returncode != 0:
            return None  # a script, not built here: it may run anything
        return {(self.build / name).resolve() for name in found.stdout.split()}

    def affected(self, mutant):
        """The executables to rebuild (None: everything) and the numbers of the tests to run
        for a mutant. A header's includers are not in ninja's graph, so it takes them all."""
        source = (self.folder / mutant.path).resolve()
        if source.suffix != ".cpp":
            return None, [number for number, _ in self.tests]
        chosen = [(number, executable) for number, executable in self.tests
                  if self.inputs[executable] is None or source in self.inputs[executable]]
        targets = sorted({executable for _, executable in chosen
                          if self.inputs[executable] is not None})
        return targets, [number for number, _ in chosen]

    def test(self, numbers=None):
        """None when every test passed, else the failing tests' names or "timed out"."""
        options = self.options
        command = ["ctest", "--test-dir", str(self.build), f"-j{options.jobs}",
                   "--timeout", str(options.timeout), "--stop-on-failure"]
        if numbers is not None:
            command += ["-I", ",".join(["0", "0", "0", *map(str, numbers)])]
        if options.exclude:
            command += ["-E", options.exclude]
        # No run should take anything like this long: every test has its own time-out.
        status = self.isolation.run(command, self.folder, timeout=options.timeout * 30)
        if status == 0:
            return None
        if status is None:
            return "timed out"
        failed = self.build / "Testing" / "Temporary" / "LastTestsFailed.log"
        names = [line.split(":", 1)[-1] for line in read_lines(failed)]
        return ", ".join(names) or f"ctest ended with {status}"


def read_lines(path):
    try:
        return path.read_text().splitlines()
    except OSError:
        return []


def run_mutant(workspace, mutant):
    source = workspace.folder / mutant.path
    original = source.read_text(encoding="utf-8")
    lines = original.split("\n")
    line = lines[mutant.line - 1]
    end = mutant.column + len(mutant.before)
    lines[mutant.line - 1] = line[:mutant.column] + mutant.after + line[end:]
    source.write_text("\n".join(lines), encoding="utf-8")
    targets, numbers = workspace.affected(mutant)
    try:
        if workspace.compile(targets or ()) is not None:
            return "did not build", ""
        if not numbers:
            return "survived", "no test runs this file"
        failed = workspace.test(numbers)
        return ("survived", "") if failed is None else ("killed", failed)
    finally:
        source.write_text(original, encoding="utf-8")


def shown(token):
    return f'"{token}"' if token else "(nothing)"


def report(mutant, outcome, detail, seconds):
    text = f"{mutant.where():45} {shown(mutant.before.strip()):>8} -> " \
           f"{shown(mutant.after.strip()):9} {outcome:13} {seconds:6.1f} s"
    print(text + (f"  ({detail})" if detail else ""), flush=True)


def summarize(results, checkout):
    counts = {outcome: sum(1 for _, found, _ in results if found == outcome)
              for outcome in ("killed", "survived", "did not build")}
    built = counts["killed"] + counts["survived"]
    score = 100.0 * counts["killed"] / built if built else 0.0
    seconds = sum(taken for _, found, taken in results if found != "did not build")
    average = seconds / built if built else 0.0
    print(f"\nscore: {counts['killed']} killed of {built} that built ({score:.1f}%); "
          f"{counts['survived']} survived, {counts['did not build']} did not build; "
          f"{average:.1f} s per mutant that built")
    survivors = [mutant for mutant, found, _ in results if found == "survived"]
    if survivors:
        print("survivors:")
    for mutant in survivors:
        text = (checkout / mutant.path).read_text(encoding="utf-8").split("\n")
        print(f"  {mutant.where()}: {shown(mutant.before.strip())} -> "
              f"{shown(mutant.after.strip())} in: {text[mutant.line - 1].strip()}")


DONE_LINE = re.compile(r"^(\S+):(\d+) +(.+?) -> (.+?) +(killed|did not build) ")


def not_done_in(log, chosen):
    """The chosen mutants that an earlier run's output does not show killed, or failing to
    build, at the same line: its survivors, and the sites new or moved since."""
    done = {match.groups()[:4] for match in map(DONE_LINE.match, log.read_text().split("\n"))
            if match}
    return [mutant for mutant in chosen
            if (mutant.path, str(mutant.line), shown(mutant.before.strip()),
                shown(mutant.after.strip())) not in done]


def parse_arguments():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="\n\n".join(__doc__.split("\n\n")[1:]))
    parser.add_argument("paths", nargs="*", default=["src", "tools"],
                        help="folders or files to take mutants from (default: src tools)")
    parser.add_argument("--seed", default="1", help="chooses the sample (default 1)")
    parser.add_argument("--count", type=int, default=60, help="mutants to try (default 60)")
    parser.add_argument("--since", metavar="REV",
                        help="only files changed since REV, committed or not")
    parser.add_argument("--timeout", type=int, default=60,
                        help="seconds one test may take (default 60)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2,
                        help="parallel compilations and tests (default: the processors)")
    parser.add_argument("--exclude", default=DEFAULT_EXCLUDE,
                        help=f"CTest -E pattern of tests not run (default {DEFAULT_EXCLUDE})")
    parser.add_argument("--retry", metavar="LOG", type=Path,
                        help="of the sample, try only what an earlier run's output does not "
                             "show killed at the same line (after tests were added)")
    parser.add_argument("--list", action="store_true",
                        help="print the chosen mutants without building anything")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    return parser.parse_args()


def main():
    options = parse_arguments()
    os.nice(max(0, 19 - os.nice(0)))  # the others on this machine keep working
    files = candidate_files(ROOT, options.paths, options.since)
    total, chosen = choose(ROOT, files, options.seed, options.count)
    if options.retry:
        chosen = not_done_in(options.retry, chosen)
    print(f"{len(chosen)} of {total} sites in {len(files)} files, seed {options.seed}",
          flush=True)
    if options.list or not chosen:
        for mutant in chosen:
            print(f"{mutant.where()}  {shown(mutant.before.strip())} -> "
                  f"{shown(mutant.after.strip())}")
        return 0
    folder = Path(tempfile.mkdtemp(prefix="mutate-"))
    try:
        return run_all(options, folder, chosen)
    finally:
        if options.keep:
            print(f"kept {folder}")
        else:
            shutil.rmtree(folder, ignore_errors=True)


def run_all(options, folder, chosen):
    isolation = Isolation()
    workspace = Workspace(folder, options, isolation)
    copy_checkout(ROOT, folder)
    started = time.monotonic()
    workspace.configure()
    failure = workspace.compile()
    if failure is not None:
        print(f"{failure}\nthe checkout does not build as it is", file=sys.stderr)
        return 2
    failed = workspace.test()
    if failed is not None:
        print(f"the tests fail without any mutant: {failed}", file=sys.stderr)
        return 2
    workspace.learn_tests()
    print(f"built and tested as it is in {time.monotonic() - started:.0f} s; tests run in "
          f"{isolation.describe()}", flush=True)
    results = []
    for mutant in chosen:
        started = time.monotonic()
        outcome, detail = run_mutant(workspace, mutant)
        results.append((mutant, outcome, time.monotonic() - started))
        report(mutant, outcome, detail, results[-1][2])
    summarize(results, ROOT)
    return 0


if __name__ == "__main__":
    sys.exit(main())
