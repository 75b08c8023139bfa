"""Runs a Google Benchmark program and reads the rates of its repetitions."""

import json
import statistics
import subprocess
from typing import Dict, List

from timing import Summary

MIB = 1 << 20


def run_benchmark(binary: str, json_path: str, log_path: str) -> Dict[str, List[float]]:
    """Bytes per second of every repetition, by benchmark name ("A/8KiB").

    The rates are those Google Benchmark computes from CPU time. Repetitions of
    the different benchmarks run in random order, so that a slow spell of the
    machine does not fall on one side of a ratio only."""
    with open(log_path, "w") as log:
        subprocess.run([binary, f"--benchmark_out={json_path}",
                        "--benchmark_out_format=json",
                        "--benchmark_enable_random_interleaving=true",
                        "--benchmark_color=false"],
                       check=True, stdout=log, stderr=subprocess.STDOUT)
    with open(json_path) as data:
        entries = json.load(data)["benchmarks"]
    rates: Dict[str, List[float]] = {}
    for entry in entries:
        if entry.get("run_type") != "iteration" or entry.get("error_occurred"):
            continue
        # The name without the options appended to it ("/repeats:5").
        name = "/".join(entry["run_name"].split("/")[:2])
        rates.setdefault(name, []).append(entry["bytes_per_second"])
    return rates


def mib_per_second(rates: Dict[str, List[float]], name: str) -> Summary:
    if name not in rates:
        raise RuntimeError(f"benchmark {name} did not report")
    return Summary.of([rate / MIB for rate in rates[name]])


def rate_ratio(rates: Dict[str, List[float]], a: str, b: str) -> float:
    """The median rate of a over that of b."""
    return statistics.median(rates[a]) / statistics.median(rates[b])
