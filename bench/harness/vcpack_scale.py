"""vcpack on large packages: `list` of many value records, `verify` of a deep
chain of references and of many distinct unresolved references, and `build`
of each. Every package is measured at full size and at a quarter of it: a
program that is linear in the records takes about 4x as long for 4x the
records, a quadratic one about 16x.

Part of scripts/bench; also runs alone and prints its figures:

    python3 bench/harness/vcpack_scale.py --bin build/release/bin --out build/bench
"""

import argparse
import os
import subprocess
import sys
import time
from dataclasses import dataclass
from typing import Callable, List, Tuple

from findings import Part
from report import Bar, Figure, spread, table
from timing import Summary

# Time for 4x the records over time for 1x: linear gives about 4.
SCALE_TARGET = 6.0
ROUNDS = 3


def _quoted(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _value(name: str, text: str) -> str:
    return f"[[record]]\nvariable = {_quoted(name)}\nvalue = {_quoted(text)}\n"


def many_values(count: int) -> List[str]:
    """`count` value records, each binding a name of its own."""
    return [_value(f"v{i}", f"value number {i}") for i in range(count)]


def deep_chain(depth: int) -> List[str]:
    """"parameters" refers to c0, c0 to c1, ... each adding a character."""
    records = [_value("parameters", "%c0%")]
    records += [_value(f"c{i}", f"-%c{i + 1}%") for i in range(depth - 1)]
    return records + [_value(f"c{depth - 1}", "end")]


def unresolved_references(count: int) -> List[str]:
    """"parameters" refers to `count` names that nothing binds."""
    return [_value("parameters", " ".join(f"%u{i}%" for i in range(count)))]


@dataclass
class Case:
    label: str
    short: str  # for the chart
    command: str  # what is timed besides build: "list" or "verify"
    records: Callable[[int], List[str]]
    size: int


CASES = [
    Case("list of {n} value records", "list, values", "list", many_values,
         80000),
    # The deepest chain within the bound on an expansion's work
    # (variables/expand_variables.h): one of 64,000 goes past it.
    Case("verify of a {n}-deep chain", "verify, chain", "verify", deep_chain,
         60000),
    # The same bound: 35,000 go past it.
    Case("verify of {n} unresolved references", "verify, unresolved",
         "verify", unresolved_references, 30000),
]


def write_package(vcpack: str, stub: str, installer: str, folder: str,
                  name: str, records: List[str]) -> Tuple[str, float]:
    """Builds the package through a manifest (the command line could not hold
    so many records); returns its path and the build's wall time."""
    manifest = os.path.join(folder, name + ".toml")
    with open(manifest, "w") as out:
        out.write(f"stub = {_quoted(os.path.abspath(stub))}\n")
        out.write(f'[[record]]\nfile = {_quoted(os.path.abspath(installer))}\n'
                  'key = "installer"\nas = "setup"\n')
        out.write(_value("executable", "%installer%"))
        out.writelines(records)
    package = os.path.join(folder, name + ".pkg")
    start = time.perf_counter()
    subprocess.run([vcpack, "build", "-m", manifest, "-o", package],
                   check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return package, time.perf_counter() - start


def timed(argv: List[str], rounds: int) -> Summary:
    """Wall time of `rounds` runs; vcpack's exit code must be 0 or 1 (the
    quarter-sized packages of an old vcpack may hold findings)."""
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        done = subprocess.run(argv, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
        if done.returncode not in (0, 1):
            raise RuntimeError(f"{argv} ended with {done.returncode}")
    return Summary.of(times)


@dataclass
class Measured:
    case: Case
    build: Tuple[float, float]  # quarter, full
    command: Tuple[Summary, Summary]

    def label(self) -> str:
        return self.case.label.format(n=f"{self.case.size:,}")

    def scale(self) -> float:
        return self.command[1].median / self.command[0].median


def measure(vcpack: str, stub: str, installer: str, folder: str,
            rounds: int = ROUNDS) -> List[Measured]:
    os.makedirs(folder, exist_ok=True)
    results = []
    for index, case in enumerate(CASES):
        builds, commands = [], []
        for size in (case.size // 4, case.size):
            package, build_time = write_package(
                vcpack, stub, installer, folder, f"scale{index}-{size}",
                case.records(size))
            builds.append(build_time)
            commands.append(timed([vcpack, case.command, package], rounds))
        results.append(Measured(case, (builds[0], builds[1]),
                                (commands[0], commands[1])))
    return results


def figures(results: List[Measured]) -> List[Figure]:
    return [Figure(f"7. vcpack {m.label()}",
                   f"{m.command[1].median:.2f} s ({m.scale():.1f}× the "
                   "quarter-sized package's time)",
                   f"≤ {SCALE_TARGET:.0f}× for 4× the records",
                   m.scale() <= SCALE_TARGET) for m in results]


def section(results: List[Measured], rounds: int) -> str:
    rows = [[m.label(), spread(m.command[0], 2), spread(m.command[1], 2),
             f"{m.scale():.1f}", f"{m.build[0]:.2f}", f"{m.build[1]:.2f}"]
            for m in results]
    return (
        "## 7. vcpack on large packages\n\n"
        "`bench/harness/vcpack_scale.py`: packages made from a manifest, each "
        "at full size and at a quarter of it. Wall time in seconds, median "
        f"(min–max) of {rounds} runs, of the command named; one build each. "
        "A command that is linear in the records takes about 4× as long at "
        "full size, a quadratic one about 16×.\n\n" +
        table(["Package", "Quarter s", "Full s", "Full / quarter",
               "Build quarter s", "Build full s"], rows))


def part(results: List[Measured], rounds: int = ROUNDS) -> Part:
    """The report's part: figures, section and bars."""
    bars = [Bar(m.case.short, m.command[1].median, m.command[1].low,
                m.command[1].high) for m in results]
    return Part(figures(results), section(results, rounds), bars)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--bin", required=True,
                        help="the folder with vcpack and vcboot")
    parser.add_argument("--vcpack", help="another vcpack to measure")
    parser.add_argument("--out", required=True, help="where the packages go")
    parser.add_argument("--rounds", type=int, default=ROUNDS)
    args = parser.parse_args()
    vcpack = args.vcpack or os.path.join(args.bin, "vcpack")
    stub = os.path.join(args.bin, "vcboot")
    results = measure(vcpack, stub, stub, os.path.join(args.out, "scale"),
                      args.rounds)
    print(section(results, args.rounds))
    print()
    for figure in figures(results):
        print(f"{figure.what}: {figure.measured}; target {figure.target}: "
              f"{figure.verdict()}")


if __name__ == "__main__":
    sys.exit(main())
