"""Measures vcboot against its peers and against the physical floor, and
writes report.md and report.png. Started by scripts/bench, which builds what
this needs first."""

import argparse
import os
import platform
import subprocess
import time
from typing import Dict, List

import contenders
import findings
import inputs
import large_packages
import microbench
import report
import vcpack_scale
from report import Panel, Report
from timing import Results, run_rounds

MIB = 1 << 20
EXTRACTION_FILES = 16
EXTRACTION_FILE_SIZE = 16 * MIB
SFX_MODULE = "/usr/lib/p7zip/7zCon.sfx"

# Rounds: one warm-up first (it also fills the page cache), then timed ones.
EXTRACTION_ROUNDS = 10
ONE_FILE_ROUNDS = 5
STARTUP_WARMUPS = 2
STARTUP_ROUNDS = 15
# The shortest pause before a run (the longest is twice this; see timing.py).
# The small package writes too little for the pause to matter much.
SETTLE_SECONDS = 1.5
STARTUP_SETTLE_SECONDS = 0.2


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--bin", required=True,
                        help="the release build's bin/ folder")
    parser.add_argument("--out", required=True,
                        help="where the inputs and the report go")
    parser.add_argument("--stub", action="append", default=[],
                        help="NAME=PATH of a stripped bootstrap")
    parser.add_argument("--no-stub", action="append", default=[],
                        help="NAME=REASON of a bootstrap not built")
    parser.add_argument("--started", type=float, default=time.time(),
                        help="when scripts/bench started (seconds since 1970)")
    parser.add_argument("--large", action="store_true",
                        help="also measure a 3.5 GiB file and 100,000 small "
                        "files (large_packages.py)")
    return parser.parse_args()


def step(text: str) -> None:
    print(f"bench: {text}", flush=True)


class Bench:
    def __init__(self, args: argparse.Namespace):
        self.args = args
        self.out = os.path.abspath(args.out)
        self.logs = inputs.fresh_folder(self.path("logs"))
        self.stub = self.binary("vcboot")

    def path(self, *parts: str) -> str:
        return os.path.join(self.out, *parts)

    def binary(self, name: str) -> str:
        return os.path.join(os.path.abspath(self.args.bin), name)

    def scratch(self, name: str) -> str:
        """An empty folder for one contender, all in the same file system."""
        return inputs.fresh_folder(self.path("tmp", name))

    def pack(self, records: List[inputs.Record], output: str) -> None:
        inputs.pack_vcboot(self.binary("vcpack"), self.stub, records, output)

    def rounds(self, name: str, runners, warmups: int, rounds: int,
               settle: float) -> Results:
        results = run_rounds(runners, warmups, rounds, self.logs, settle)
        results.save(self.path(f"{name}-runs.json"))
        return results

    def google_benchmark(self, name: str) -> Dict[str, List[float]]:
        return microbench.run_benchmark(self.binary(name),
                                        self.path(name + ".json"),
                                        os.path.join(self.logs, name + ".txt"))

    def extraction(self) -> None:
        step("making the 256 MiB packages")
        files = inputs.extraction_files(self.path("payload"),
                                        self.binary("bench_installer"),
                                        EXTRACTION_FILES, EXTRACTION_FILE_SIZE)
        self.pack(inputs.extraction_records(files), self.path("vcboot.pkg"))
        inputs.pack_makeself(self.path("payload"), self.path("makeself.run"),
                             "./installer", ["--nocrc"])
        inputs.pack_7zip(files, SFX_MODULE, self.path("7zip.sfx"))
        big = os.path.join(inputs.fresh_folder(self.path("one-file")), "big.bin")
        inputs.write_random(big, EXTRACTION_FILES * EXTRACTION_FILE_SIZE)
        self.pack(inputs.extraction_records([files[0], big]),
                  self.path("vcboot-one-file.pkg"))
        subprocess.run(["sync"], check=True)  # no write-back during the runs

        step(f"extraction: 1 warm-up and {EXTRACTION_ROUNDS} rounds")
        self.extraction_results = self.rounds("extraction", [
            contenders.vcboot("vcboot", self.path("vcboot.pkg"),
                              self.scratch("vcboot")),
            contenders.floor("floor", files,
                             os.path.join(self.scratch("floor"), "out")),
            contenders.floor("floor-removal", files,
                             os.path.join(self.scratch("floor-removal"), "out"),
                             removal=True),
            contenders.sevenzip("7zip", self.path("7zip.sfx"),
                                os.path.join(self.scratch("7zip"), "out"),
                                len(files)),
            contenders.makeself("makeself", self.path("makeself.run"),
                                self.scratch("makeself")),
        ], 1, EXTRACTION_ROUNDS, SETTLE_SECONDS)
        step(f"one 256 MiB file: 1 warm-up and {ONE_FILE_ROUNDS} rounds")
        self.one_file_results = self.rounds("one-file", [
            contenders.vcboot("vcboot-one-file",
                              self.path("vcboot-one-file.pkg"),
                              self.scratch("vcboot-one-file"))],
            1, ONE_FILE_ROUNDS, SETTLE_SECONDS)

    def startup(self) -> None:
        step(f"startup: {STARTUP_WARMUPS} warm-up and {STARTUP_ROUNDS} rounds")
        folder = self.path("sample")
        records = inputs.sample_files(folder, self.binary("bench_installer"))
        # makeself starts one program: a script that runs both, as vcboot does.
        run_script = os.path.join(folder, "run.sh")
        with open(run_script, "w") as out:
            out.write('#!/bin/sh\n./Setup.exe "$@"\nexec ./post.exe $?\n')
        os.chmod(run_script, 0o755)
        ours, theirs = self.path("sample.pkg"), self.path("sample-makeself.run")
        self.pack(records, ours)
        inputs.pack_makeself(folder, theirs, "./run.sh", ["--nocrc"])
        subprocess.run(["sync"], check=True)
        self.sample = findings.Sample(len(records) + 2,  # the stub, the tail
                                      os.path.getsize(ours),
                                      os.path.getsize(theirs))
        self.startup_results = self.rounds("startup", [
            contenders.vcboot("vcboot-sample", ours, self.scratch("vcboot-sample")),
            contenders.makeself("makeself-sample", theirs,
                                self.scratch("makeself-sample")),
        ], STARTUP_WARMUPS, STARTUP_ROUNDS, STARTUP_SETTLE_SECONDS)

    def large_packages(self) -> None:
        step("vcpack on large packages")
        self.scale_results = vcpack_scale.measure(
            self.binary("vcpack"), self.stub, self.binary("bench_installer"),
            self.path("scale"))

    def run(self) -> None:
        step("MD5 throughput (Google Benchmark)")
        self.md5_rates = self.google_benchmark("md5_benchmark")
        step("tail scan (Google Benchmark)")
        self.tail_scan_rates = self.google_benchmark("tail_scan_benchmark")
        self.extraction()
        self.startup()
        self.large_packages()
        self.large = None
        if self.args.large:
            self.large = large_packages.measure(
                os.path.abspath(self.args.bin), self.stub, self.path("large"))
        self.write_report()

    def stub_sizes(self):
        sizes = []
        for entry in self.args.stub:
            name, path = entry.split("=", 1)
            sizes.append((name, os.path.getsize(path), ""))
        for entry in self.args.no_stub:
            name, reason = entry.split("=", 1)
            sizes.append((name, None, reason))
        return sizes

    def write_report(self) -> None:
        md5 = findings.md5(self.md5_rates)
        extraction = findings.extraction(self.extraction_results,
                                         EXTRACTION_ROUNDS, SETTLE_SECONDS)
        startup = findings.startup(self.startup_results, self.sample,
                                   STARTUP_ROUNDS, STARTUP_WARMUPS)
        tail_scan = findings.tail_scan(self.tail_scan_rates)
        start_mib = self.startup_results.rss_mib("vcboot-sample").high
        memory = findings.memory([
            ("16 files of 16 MiB", self.extraction_results, "vcboot"),
            ("one file of 256 MiB", self.one_file_results, "vcboot-one-file")],
            ONE_FILE_ROUNDS, start_mib)
        stubs = findings.stubs(self.stub_sizes())
        scale = vcpack_scale.part(self.scale_results)
        parts = [md5, extraction, startup, tail_scan, memory, stubs, scale]
        if self.large:
            parts.append(large_packages.part(self.large, start_mib))
        panels = [
            Panel("Extraction of 256 MiB (warm cache)", "seconds",
                  extraction.bars),
            Panel("Startup, small package", "ms", startup.bars),
            Panel("Throughput ratios", "ours / theirs", md5.bars + tail_scan.bars),
            Panel("Peak memory of vcboot", "MiB", memory.bars),
            Panel("Stripped stub size", "KiB", stubs.bars),
            Panel("vcpack on large packages", "seconds", scale.bars),
        ]
        if self.large:
            panels.append(Panel("Peak memory of vcboot, large packages", "MiB",
                                parts[-1].bars))
        result = Report(self.preamble(),
                        [figure for part in parts for figure in part.figures],
                        [part.section for part in parts],
                        [panel for panel in panels if panel.bars])
        report.write_markdown(result, self.path("report.md"))
        report.write_plot(result, self.path("report.png"), self.logs)

    def preamble(self) -> str:
        elapsed = time.time() - self.args.started
        commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True).stdout.strip()
        return (
            "# vcboot benchmarks\n\n"
            f"Made by `scripts/bench` on {time.strftime('%Y-%m-%d %H:%M %Z')} "
            f"at commit {commit or 'unknown'}: {_cpu_model()}, "
            f"{os.cpu_count()} cores, Linux {platform.release()}. The whole "
            f"run took {int(elapsed // 60)} min {int(elapsed % 60)} s. Each "
            "figure is the median of its runs after a warm-up, with min and "
            "max; ratios are taken within one run. The payloads are random "
            "bytes, so nothing compresses. On a shared machine the figures "
            "vary from run to run, the ratios less than the times.\n\n"
            "![Bar chart of the figures](report.png)")


def _cpu_model() -> str:
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.machine()


def main() -> None:
    bench = Bench(parse_arguments())
    bench.run()
    step(f"wrote {bench.path('report.md')} and {bench.path('report.png')}")


if __name__ == "__main__":
    main()
