"""Large packages, run by `scripts/bench --large`: one file of 3.5 GiB of
zeros, and 100,000 small files. They need real disk (some 14 GiB at the
peak, all removed at the end) and a few minutes, so the default run leaves
them out.

- The 3.5 GiB file: vcboot's extraction against the floor including
  removal (`md5sum` + `cp` + `rm -r`), round by round; its peak memory; and
  one run whose installer compares the extracted file with the input byte
  for byte, while the digest that vcpack stored is compared with md5sum's.
- 100,000 files of 64 bytes: the peak memory and time of the bootstrap and
  of `vcpack build`, `list`, `verify` and `extract`.
- Under Wine, where it and the Windows builds are there: the Wine cases
  `LargeFiles` (tests/windows/package_wine_test.py), a file just over 2 GiB
  and a package just over 4 GiB installed by each Windows stub and compared
  byte for byte.

Also runs alone and prints its figures:

    python3 bench/harness/large_packages.py --bin build/release/bin --out build/bench
"""

import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

import contenders
from findings import Part
from report import Bar, Figure, spread, table
from timing import Results, Summary, run_rounds

MIB = 1 << 20
GIB = 1 << 30
BIG_FILE_SIZE = 7 * GIB // 2
SMALL_FILES = 100_000
SMALL_FILE_SIZE = 64
ROUNDS = 3
SETTLE_SECONDS = 2.0
# The input, the package, and the two copies that the runs make and remove.
DISK_NEEDED = 4 * BIG_FILE_SIZE + GIB

FLOOR_RATIO = 0.85
MEMORY_ABOVE_START_MIB = 16

# Compares the extracted file with the input when the run asks for it; the
# package's exit code is the installer's, so the run's tells the outcome.
CHECKING_INSTALLER = """#!/bin/sh
[ -z "$VCBOOT_BENCH_COMPARE" ] || exec cmp -s big.bin "$VCBOOT_BENCH_COMPARE"
"""


def step(text: str) -> None:
    print(f"bench: {text}", flush=True)


def write_zeros(path: str, size: int) -> None:
    """Zeros written for real: a sparse file would let `cp` and `md5sum`
    skip its holes, which the package's bytes cannot."""
    block = bytes(64 * MIB)
    with open(path, "wb") as out:
        for start in range(0, size, len(block)):
            out.write(block[:min(len(block), size - start)])


def stored_digests(package: str) -> Dict[bytes, bytes]:
    """The stored digest of each file record's content, by file name, read
    from the chunk trailers backwards from the end, as the bootstrap reads
    them (the package has no trailing bytes)."""
    digests, texts = {}, []
    with open(package, "rb") as f:
        end = f.seek(0, os.SEEK_END)
        while end > 0:
            f.seek(end - 20)
            trailer = f.read(20)
            length = struct.unpack("<I", trailer[:4])[0]
            start = end - 20 - length
            f.seek(start)
            payload = f.read(length) if length <= 4096 else b""
            # The chunks of a file record, read backwards: type, key, name,
            # content.
            if len(texts) >= 3 and texts[-3] == b"file":
                digests[texts[-1]] = trailer[4:]
            texts.append(payload)
            end = start
    return digests


def md5_of(path: str) -> bytes:
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(16 * MIB), b""):
            digest.update(block)
    return digest.digest()


@dataclass
class Peak:
    """One timed run of a command through /usr/bin/time."""
    wall: float
    rss_mib: float


def measured_run(argv: List[str], env: Optional[Dict[str, str]] = None) -> Peak:
    """Runs `argv` through /usr/bin/time; it must end with exit code 0."""
    with tempfile.NamedTemporaryFile("r") as rss:
        start = time.perf_counter()
        done = subprocess.run(
            ["/usr/bin/time", "-f", "%M", "-o", rss.name, *argv], env=env,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
        if done.returncode != 0:
            raise RuntimeError(f"{argv[:2]} ended with {done.returncode}: "
                               f"{done.stderr.decode(errors='replace')[-2000:]}")
        return Peak(wall, int(rss.read().split()[-1]) / 1024)


@dataclass
class BigFile:
    results: Results
    identical: bool
    digest_agrees: bool
    build: Peak


@dataclass
class SmallFiles:
    bootstrap: List[Peak]
    vcpack: Dict[str, Peak]  # build, list, verify, extract


@dataclass
class Large:
    big: Optional[BigFile]
    small: SmallFiles
    skipped: str = ""  # why the big file was not measured
    # By Windows build: "passed", or why not.
    wine: Dict[str, str] = field(default_factory=dict)


def measure_big(bin_folder: str, stub: str, folder: str) -> BigFile:
    vcpack = os.path.join(bin_folder, "vcpack")
    inputs = os.path.join(folder, "input")
    os.makedirs(inputs)
    big = os.path.join(inputs, "big.bin")
    installer = os.path.join(inputs, "check")
    with open(installer, "w") as out:
        out.write(CHECKING_INSTALLER)
    os.chmod(installer, 0o755)
    step("one 3.5 GiB file: writing the input and the package")
    write_zeros(big, BIG_FILE_SIZE)
    package = os.path.join(folder, "big.pkg")
    build = measured_run([vcpack, "build", "--stub", stub, "--file",
                          f"installer={installer}", "--file", big, "--value",
                          "executable=%installer%", "--exit-code", "installer",
                          "-o", package])
    digest_agrees = stored_digests(package).get(b"big.bin") == md5_of(big)
    subprocess.run(["sync"], check=True)

    def scratch(name: str) -> str:
        path = os.path.join(folder, "tmp", name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    step(f"one 3.5 GiB file: 1 warm-up and {ROUNDS} rounds")
    runners = [contenders.vcboot("vcboot-big", package, scratch("vcboot")),
               contenders.floor("floor-big", [big],
                                os.path.join(scratch("floor"), "out"),
                                removal=True)]
    logs = scratch("logs")
    results = run_rounds(runners, 1, ROUNDS, logs, SETTLE_SECONDS)
    step("one 3.5 GiB file: a run that compares the file it extracted")
    temp = scratch("checked")
    os.makedirs(temp + ".run", exist_ok=True)
    env = dict(os.environ, TMPDIR=temp + "/", XDG_RUNTIME_DIR=temp + ".run",
               VCBOOT_BENCH_COMPARE=big)
    identical = subprocess.run([package], env=env).returncode == 0
    return BigFile(results, identical, digest_agrees, build)


def measure_small(bin_folder: str, stub: str, folder: str) -> SmallFiles:
    vcpack = os.path.join(bin_folder, "vcpack")
    inputs = os.path.join(folder, "small")
    os.makedirs(inputs)
    step(f"{SMALL_FILES:,} small files: writing the inputs")
    manifest = os.path.join(folder, "small.toml")
    installer = os.path.join(bin_folder, "bench_installer")
    with open(manifest, "w") as out:
        out.write(f'stub = "{stub}"\n[[record]]\nfile = "{installer}"\n'
                  'key = "installer"\n')
        for index in range(SMALL_FILES):
            name = f"f{index:06}.bin"
            with open(os.path.join(inputs, name), "wb") as f:
                f.write(os.urandom(SMALL_FILE_SIZE))
            out.write(f'[[record]]\nfile = "small/{name}"\n')
        out.write('[[record]]\nvariable = "executable"\n'
                  'value = "%installer%"\n')
    package = os.path.join(folder, "small.pkg")
    step(f"{SMALL_FILES:,} small files: vcpack build, list, verify, extract")
    peaks = {"build": measured_run([vcpack, "build", "-m", manifest, "-o",
                                    package])}
    for command in ("list", "verify"):
        peaks[command] = measured_run([vcpack, command, package])
    extracted = os.path.join(folder, "extracted")
    os.makedirs(extracted)
    peaks["extract"] = measured_run([vcpack, "extract", package, extracted])
    shutil.rmtree(extracted)
    step(f"{SMALL_FILES:,} small files: the bootstrap, {ROUNDS + 1} runs")
    temp = os.path.join(folder, "small-tmp")
    os.makedirs(temp)
    os.makedirs(temp + ".run")
    env = dict(os.environ, TMPDIR=temp + "/", XDG_RUNTIME_DIR=temp + ".run")
    runs = [measured_run([package], env) for _ in range(ROUNDS + 1)][1:]
    return SmallFiles(runs, peaks)


WINE_SUITE = os.path.join(os.path.dirname(__file__), "..", "..", "tests",
                          "windows", "package_wine_test.py")


def run_wine_cases(bin_folder: str, folder: str) -> Dict[str, str]:
    """The Wine cases LargeFiles against each Windows build beside the
    native one (build/<preset>/bin)."""
    source = os.path.abspath(os.path.join(os.path.dirname(WINE_SUITE), "..", ".."))
    outcomes = {}
    free = shutil.disk_usage(folder).free
    if free < 10 * GIB:
        return {target: f"skipped: only {free / GIB:.1f} GiB free, 10 GiB needed"
                for target in ("win64", "win32")}
    for target in ("win64", "win32"):
        windows_bin = os.path.join(bin_folder, "..", "..", target, "bin")
        step(f"under Wine, the {target} stub: files over 2 and 4 GiB")
        environment = dict(
            os.environ, VCBOOT_LARGE_TESTS="1", VCBOOT_WINDOWS_TARGET=target,
            VCBOOT_WINDOWS_BIN_DIR=os.path.abspath(windows_bin),
            VCBOOT_NATIVE_BIN_DIR=bin_folder,
            VCBOOT_WINE_PREFIX=os.path.join(folder, "wine-prefix"),
            VCBOOT_SOURCE_DIR=source, PYTHONDONTWRITEBYTECODE="1")
        done = subprocess.run([sys.executable, WINE_SUITE, "LargeFiles"],
                              env=environment, capture_output=True, text=True)
        output = (done.stdout + done.stderr).strip()
        if done.returncode == 0:
            outcomes[target] = "passed"
        elif done.returncode == 77:
            outcomes[target] = output.splitlines()[-1] if output else "skipped"
        else:
            outcomes[target] = "FAILED: " + output[-400:].replace("\n", " ")
        step(f"under Wine, the {target} stub: {outcomes[target][:200]}")
    return outcomes


def measure(bin_folder: str, stub: str, folder: str) -> Large:
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    try:
        free = shutil.disk_usage(folder).free
        big, skipped = None, ""
        if free >= DISK_NEEDED:
            big = measure_big(bin_folder, stub, folder)
        else:
            skipped = (f"only {free / GIB:.1f} GiB free, "
                       f"{DISK_NEEDED / GIB:.1f} GiB needed")
            step(f"one 3.5 GiB file: not measured, {skipped}")
        shutil.rmtree(folder)
        os.makedirs(folder)
        small = measure_small(bin_folder, stub, folder)
        shutil.rmtree(folder)
        os.makedirs(folder)
        return Large(big, small, skipped, run_wine_cases(bin_folder, folder))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def _peak_summary(peaks: List[Peak]) -> Tuple[Summary, Summary]:
    return (Summary.of([p.wall for p in peaks]),
            Summary.of([p.rss_mib for p in peaks]))


def part(large: Large, start_mib: float) -> Part:
    """`start_mib`: the bootstrap's peak on a small package, its size at
    start."""
    limit = start_mib + MEMORY_ABOVE_START_MIB
    part = Part()
    rows = []
    if large.big:
        results = large.big.results
        ratio = results.ratio("vcboot-big", "floor-big")
        peak = results.rss_mib("vcboot-big")
        part.figures += [
            Figure("8. Extraction of one 3.5 GiB file, vcboot / floor "
                   "including removal",
                   f"{ratio.median:.2f}× ({results.wall('vcboot-big').median:.2f}"
                   f" s vs {results.wall('floor-big').median:.2f} s)",
                   f"≤ {FLOOR_RATIO}×", ratio.median <= FLOOR_RATIO),
            Figure("8. Peak memory, one 3.5 GiB file",
                   f"{peak.high:.1f} MiB (largest run)", f"≤ {limit:.1f} MiB",
                   peak.high <= limit),
            Figure("8. The 3.5 GiB file extracted byte for byte, its stored "
                   "digest md5sum's",
                   "yes" if large.big.identical and large.big.digest_agrees
                   else f"identical: {large.big.identical}, digest agrees: "
                        f"{large.big.digest_agrees}", "yes",
                   large.big.identical and large.big.digest_agrees)]
        part.bars.append(Bar("3.5 GiB file", peak.median, peak.low, peak.high,
                             limit))
        rows.append(["vcboot, one 3.5 GiB file", spread(results.wall("vcboot-big"), 2),
                     spread(peak, 1)])
        rows.append(["floor including removal", spread(results.wall("floor-big"), 2),
                     spread(results.rss_mib("floor-big"), 1)])
        rows.append(["vcpack build, one 3.5 GiB file",
                     f"{large.big.build.wall:.2f}",
                     f"{large.big.build.rss_mib:.1f}"])
    else:
        part.figures.append(Figure("8. One 3.5 GiB file",
                                   f"not measured: {large.skipped}"))
    wall, peak = _peak_summary(large.small.bootstrap)
    part.figures.append(Figure(
        f"8. Peak memory, {SMALL_FILES:,} small files",
        f"{peak.high:.1f} MiB (largest run)", f"≤ {limit:.1f} MiB",
        peak.high <= limit))
    part.bars.append(Bar("100,000 files", peak.median, peak.low, peak.high,
                         limit))
    rows.append([f"vcboot, {SMALL_FILES:,} small files", spread(wall, 2),
                 spread(peak, 1)])
    for command, run in large.small.vcpack.items():
        part.figures.append(Figure(
            f"8. vcpack {command} of {SMALL_FILES:,} small files, peak memory",
            f"{run.rss_mib:.1f} MiB ({run.wall:.2f} s)"))
        rows.append([f"vcpack {command}, {SMALL_FILES:,} small files",
                     f"{run.wall:.2f}", f"{run.rss_mib:.1f}"])
    for target, outcome in large.wine.items():
        part.figures.append(Figure(
            f"8. Under Wine, the {target} stub: a file over 2 GiB and a "
            "package over 4 GiB install, byte for byte", outcome, "passed",
            outcome == "passed" if not outcome.startswith("skipped") else None))
    part.section = (
        "## 8. Large packages\n\n"
        "`bench/harness/large_packages.py`, run by `scripts/bench --large`: "
        "one file of 3.5 GiB of zeros (written for real, not sparse) with a "
        f"shell script as the installer, and {SMALL_FILES:,} files of "
        f"{SMALL_FILE_SIZE} random bytes. The 3.5 GiB package and the floor "
        f"run side by side, {ROUNDS} rounds after a warm-up; the small-file "
        f"package {ROUNDS} times after a warm-up; each vcpack command once. "
        "Wall time in seconds and peak memory in MiB (the largest resident "
        "set, from `/usr/bin/time`), median (min–max) where there are "
        f"several runs. The memory target is the bootstrap's size at start, "
        f"{start_mib:.1f} MiB (its peak on the small package of section 3), "
        f"plus {MEMORY_ABOVE_START_MIB} MiB. Under Wine, the cases "
        "`LargeFiles` of `tests/windows/package_wine_test.py` run against "
        "each Windows build.\n\n" +
        table(["Run", "Wall s", "Peak MiB"], rows))
    return part


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--bin", required=True,
                        help="the release build's bin/ folder")
    parser.add_argument("--stub", help="the stub to pack (default: bin/vcboot)")
    parser.add_argument("--out", required=True, help="where the packages go")
    parser.add_argument("--start-mib", type=float, default=3.5,
                        help="the bootstrap's peak memory on a small package")
    args = parser.parse_args()
    bin_folder = os.path.abspath(args.bin)
    stub = os.path.abspath(args.stub or os.path.join(bin_folder, "vcboot"))
    large = measure(bin_folder, stub, os.path.join(os.path.abspath(args.out),
                                                   "large"))
    result = part(large, args.start_mib)
    print(result.section)
    print()
    for figure in result.figures:
        print(f"{figure.what}: {figure.measured}; target {figure.target}: "
              f"{figure.verdict()}")


if __name__ == "__main__":
    sys.exit(main())
