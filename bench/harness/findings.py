"""Turns measurements into the report's parts: the summary lines (each
figure against its target), a section with its table, and bars for the
chart."""

from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

import microbench
from report import Bar, Figure, spread, table
from timing import Results, Summary

MIB = 1 << 20

# Targets.
MD5_RATIO = 0.95
TAIL_SCAN_RATIO = 0.25
# Against the floor including removal: md5sum of the bytes, a copy and its
# removal.
FLOOR_RATIO = 0.85
MAKESELF_SPEEDUP = 8.0
# Above the bootstrap's size at start, whatever the package.
MEMORY_ABOVE_START_MIB = 16


@dataclass
class Part:
    figures: List[Figure] = field(default_factory=list)
    section: str = ""
    bars: List[Bar] = field(default_factory=list)


def scaled(summary: Summary, factor: float) -> Summary:
    return Summary(summary.median * factor, summary.low * factor,
                   summary.high * factor)


def bar(label: str, summary: Summary) -> Bar:
    return Bar(label, summary.median, summary.low, summary.high)


def _rate_rows(part: Part, rates: Dict[str, List[float]], ours: str,
               theirs: str, sizes: Tuple[str, ...], what: str, label: str,
               target: float) -> List[List[str]]:
    """One table row, summary line and bar per size for a ratio of rates."""
    rows = []
    for size in sizes:
        a, b = f"{ours}/{size}", f"{theirs}/{size}"
        ratio = microbench.rate_ratio(rates, a, b)
        rows.append([size, spread(microbench.mib_per_second(rates, a), 0),
                     spread(microbench.mib_per_second(rates, b), 0),
                     f"{ratio:.3f}"])
        part.figures.append(Figure(what.format(size=size), f"{ratio:.3f}×",
                                   f"≥ {target}×", ratio >= target))
        part.bars.append(Bar(f"{label} {size}", ratio, target=target))
    return rows


def md5(rates: Dict[str, List[float]]) -> Part:
    part = Part()
    rows = _rate_rows(part, rates, "Md5Digest", "OpenSSL_MD5",
                      ("8KiB", "1MiB", "64MiB"),
                      "1. MD5, Md5Digest / OpenSSL at {size}", "MD5",
                      MD5_RATIO)
    part.section = (
        "## 1. MD5 throughput\n\n"
        "`bench/md5_benchmark.cpp`: Md5Digest against OpenSSL's MD5 "
        "(`EVP_Digest`) on the same random bytes. MiB/s from CPU time, median "
        "(min–max) of 5 repetitions, each preceded by Google Benchmark's own "
        "trial runs; the repetitions of all six benchmarks run in random "
        "order. The ratio is of the medians.\n\n" +
        table(["Input", "Md5Digest MiB/s", "OpenSSL MiB/s", "Ratio"], rows))
    return part


def tail_scan(rates: Dict[str, List[float]]) -> Part:
    part = Part()
    rows = _rate_rows(part, rates, "BlockScan", "SequentialRead",
                      ("1MiB", "16MiB"),
                      "4. Tail scan / plain read, {size} trailing",
                      "tail scan", TAIL_SCAN_RATIO)
    bytewise = microbench.mib_per_second(rates, "BytewiseScan/1MiB")
    part.section = (
        "## 4. Tail scan\n\n"
        "`bench/tail_scan_benchmark.cpp`: `find_tail_marker` over a package "
        "whose tail chunk is followed by 1 MiB or 16 MiB of trailing bytes, "
        "against a plain forward read of the same bytes through the same "
        "platform layer (open, seek, read in blocks). MiB/s of trailing bytes "
        "from CPU time, median (min–max) of 5 repetitions.\n\n" +
        table(["Trailing bytes", "Tail scan MiB/s", "Plain read MiB/s",
               "Ratio"], rows) +
        "\n\nFor scale: a scan of one 22-byte window per byte (a move and a "
        f"read each) manages {bytewise.median:.1f} MiB/s at 1 MiB.")
    return part


EXTRACTION_CONTENDERS = [
    ("vcboot", "vcboot", "vcboot (MD5 per chunk, clean-up included)"),
    ("floor", "floor", "floor: `md5sum` + `cp` into a fresh folder"),
    ("floor-removal", "floor + rm",
     "floor including removal: the same, then `rm -r` of the copy"),
    ("7zip", "7-Zip", "7-Zip console SFX, `-mx0` (CRC32)"),
    ("makeself", "makeself", "makeself 2.4.5 `--nocomp --nocrc` (MD5)"),
]


def _floor_figure(results: Results, floor: str, label: str,
                  target: Optional[float]) -> Figure:
    ratio = results.ratio("vcboot", floor).median
    return Figure(f"2. Extraction of 256 MiB, vcboot / {label}",
                  f"{ratio:.2f}× ({results.wall('vcboot').median:.3f} s vs "
                  f"{results.wall(floor).median:.3f} s)",
                  f"≤ {target}×" if target else "none",
                  ratio <= target if target else None)


def _extraction_figures(results: Results) -> List[Figure]:
    speedup = results.ratio("makeself", "vcboot").median
    makeself_floor = results.ratio("makeself", "floor").median
    met = speedup >= MAKESELF_SPEEDUP
    return [
        _floor_figure(results, "floor", "floor", None),
        _floor_figure(results, "floor-removal", "floor including removal",
                      FLOOR_RATIO),
        Figure("2. Extraction of 256 MiB, makeself / vcboot",
               f"{speedup:.2f}× faster", f"≥ {MAKESELF_SPEEDUP:.0f}×", met,
               "" if met else
               f"makeself takes only {makeself_floor:.2f}× the floor's time "
               "here, so no program that digests and writes the bytes can be "
               f"{MAKESELF_SPEEDUP:.0f}× faster than it on this machine"),
        Figure("2. Extraction of 256 MiB, vcboot / 7-Zip SFX",
               f"{results.ratio('vcboot', '7zip').median:.2f}×",
               note="7-Zip checks CRC32, which costs far less than MD5, and "
               "starts no installer"),
    ]


def extraction(results: Results, rounds: int, settle: float) -> Part:
    rows = []
    for name, _, label in EXTRACTION_CONTENDERS:
        paired = ("1" if name == "vcboot" else
                  spread(results.ratio(name, "vcboot"), 2))
        rows.append([label, spread(results.wall(name)),
                     spread(results.user(name)), spread(results.system(name)),
                     f"{results.rss_mib(name).median:.1f}", paired])
    section = (
        "## 2. Extraction of a 256 MiB package\n\n"
        "16 random files of 16 MiB and the quick installer "
        "(`bench/quick_installer.cpp`, ends at once), packed by each "
        "contender; the page cache is warm. Wall time from spawn to exit in "
        f"seconds, median (min–max) of {rounds} rounds after one warm-up "
        "round. Every round runs each contender once, so the ratios are taken "
        "round by round (last column: the contender's time over vcboot's in "
        "the same round). User and system are CPU times; peak memory is the "
        "largest resident set of the process or of any of its children, as "
        "`/usr/bin/time` reports it. All output goes to one file system "
        "(`build/bench/tmp/`).\n\n" +
        table(["Contender", "Wall s", "User s", "System s", "Peak MiB",
               "Time / vcboot's"], rows) +
        "\n\nvcboot and makeself start the installer and remove their work "
        "folder within the timed run; 7-Zip's SFX module only extracts, and "
        "the harness removes the floor's and 7-Zip's output untimed. The "
        "floor including removal removes its copy within the timed run, as "
        "vcboot removes its work folder. `cp` "
        "copies within the kernel (`copy_file_range`), so the floor reads the "
        "bytes once for `md5sum` and never copies them through user memory.\n\n"
        "This machine is a virtual machine that hands freed memory back to its "
        "host (free page reporting). Writing 256 MiB into the page cache costs "
        "anything from 0.1 s to 0.9 s of system time, depending on whether the "
        "memory it takes was handed back already. The harness therefore "
        "removes every run's output right after it, pauses "
        f"{settle}–{2 * settle} s (drawn at random) before the next run and "
        "draws the order within each round at random, so that no contender is "
        "favoured; the system times still vary more from run to run than the "
        "user times.")
    bars = [bar(short, results.wall(name))
            for name, short, _ in EXTRACTION_CONTENDERS]
    return Part(_extraction_figures(results), section, bars)


@dataclass
class Sample:
    """The package shaped like a shipped one, as made for the startup runs."""
    records: int
    size: int
    makeself_size: int


def startup(results: Results, sample: Sample, rounds: int,
            warmups: int) -> Part:
    speedup = results.ratio("makeself-sample", "vcboot-sample")
    ours = scaled(results.wall("vcboot-sample"), 1000)
    theirs = scaled(results.wall("makeself-sample"), 1000)
    rows = [[label, spread(scaled(results.wall(name), 1000), 1),
             spread(scaled(results.cpu(name), 1000), 1),
             f"{results.rss_mib(name).median:.1f}", f"{size:,}"]
            for label, name, size in (
                ("vcboot", "vcboot-sample", sample.size),
                ("makeself 2.4.5 `--nocomp --nocrc`", "makeself-sample",
                 sample.makeself_size))]
    figure = Figure("3. Startup, small package, makeself / vcboot",
                    f"{speedup.median:.1f}× faster ({ours.median:.1f} ms vs "
                    f"{theirs.median:.1f} ms)")
    section = (
        "## 3. Startup\n\n"
        f"A package shaped like a shipped one: {sample.records} records, "
        f"{sample.size:,} bytes with the native stub. The installer and the "
        "post program are the quick installer padded with random bytes to "
        "446,352 and 479,232 bytes; 18 language files and a bitmap are random "
        "bytes. vcboot starts the installer and then the post program; "
        "makeself starts a script that does the same. Wall time in ms from "
        f"spawn to exit, median (min–max) of {rounds} rounds after {warmups} "
        "warm-up rounds.\n\n" +
        table(["Contender", "Wall ms", "CPU ms", "Peak MiB", "Package bytes"],
              rows) +
        f"\n\nmakeself takes {speedup.median:.1f}× "
        f"({speedup.low:.1f}–{speedup.high:.1f}) vcboot's time, round by "
        "round.")
    return Part([figure], section, [bar("vcboot", ours), bar("makeself", theirs)])


def memory(runs: List[Tuple[str, Results, str]], one_file_rounds: int,
           start_mib: float) -> Part:
    """`runs`: (label, results, contender); `start_mib`: the bootstrap's peak
    on the small package, its size at start."""
    part = Part()
    rows = []
    limit = start_mib + MEMORY_ABOVE_START_MIB
    for label, results, name in runs:
        peak = results.rss_mib(name)
        rows.append([label, spread(peak, 1), f"{limit:.1f}",
                     spread(results.wall(name))])
        part.figures.append(Figure(
            f"5. Peak memory, {label}", f"{peak.high:.1f} MiB (largest run)",
            f"≤ {limit:.1f} MiB", peak.high <= limit))
        part.bars.append(Bar(label, peak.median, peak.low, peak.high, limit))
    part.section = (
        "## 5. Peak memory\n\n"
        "The largest resident set of the bootstrap (or of the installer it "
        "starts), in MiB, median (min–max) of the timed runs; the target is "
        f"the bootstrap's size at start, {start_mib:.1f} MiB (its largest "
        "peak on the small package of section 3), plus "
        f"{MEMORY_ABOVE_START_MIB} MiB, whatever the package. The one-file "
        f"package was run {one_file_rounds} times after one warm-up.\n\n" +
        table(["Package", "Peak MiB", "Target MiB", "Wall s"], rows))
    return part


def stubs(sizes: List[Tuple[str, Optional[int], str]]) -> Part:
    """`sizes`: (name, size in bytes or None, why it was not built)."""
    part = Part()
    rows = []
    for name, size, reason in sizes:
        measured = f"{size:,} bytes" if size is not None else (
            f"not built: {reason}")
        rows.append([name, measured])
        part.figures.append(Figure(f"6. Stub size, stripped {name}", measured))
        if size is not None:
            part.bars.append(Bar(name, size / 1024))
    part.section = (
        "## 6. Stub size\n\nThe bootstrap as it travels in every package, "
        "stripped of symbols.\n\n" + table(["Stub", "Size"], rows))
    return part
