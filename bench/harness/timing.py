"""Whole-process timing of contenders, run side by side.

Every contender runs once per round, and the rounds follow one another, so
that a slow spell of a shared machine falls on all of them alike. Each run is
timed from its spawn to its end (wall clock); wait4 gives its CPU times. The
largest resident set comes from /usr/bin/time, which the run goes through: a
child's peak counts the memory of the process that forked it, and this
harness is a Python process of some 20 MiB, /usr/bin/time one of 2 MiB.

Every run leaves the machine as it found it: a self-extractor removes its work
folder itself, and the harness removes the output of the others at once. Then
it pauses ("settle") before the next run, for a time drawn at random, and the
order within a round is drawn at random too. A virtual machine that hands
freed memory back to its host (free page reporting) does so in periodic
passes, and writing into memory already handed back costs several times more
than writing into memory freed just before; a fixed schedule can keep step
with those passes and favour the same contender in every round.
"""

import json
import os
import random
import statistics
import time
from dataclasses import asdict, dataclass, field
from typing import Callable, Dict, List, Optional


@dataclass
class Run:
    wall: float  # seconds
    user: float
    system: float
    max_rss_kib: int
    exit_code: int
    stderr: str


@dataclass
class Contender:
    name: str
    argv: List[str]
    env: Optional[Dict[str, str]] = None
    # Called after every run; returns what went wrong, or None.
    check: Callable[[Run], Optional[str]] = lambda run: None
    # Untimed, right after every run and its check: removes what the run
    # made, as a self-extractor does at its end.
    clean_up: Callable[[], None] = lambda: None


@dataclass
class Summary:
    median: float
    low: float
    high: float

    @staticmethod
    def of(values: List[float]) -> "Summary":
        return Summary(statistics.median(values), min(values), max(values))


@dataclass
class Results:
    runs: Dict[str, List[Run]] = field(default_factory=dict)

    def wall(self, name: str) -> Summary:
        return Summary.of([run.wall for run in self.runs[name]])

    def cpu(self, name: str) -> Summary:
        return Summary.of([run.user + run.system for run in self.runs[name]])

    def user(self, name: str) -> Summary:
        return Summary.of([run.user for run in self.runs[name]])

    def system(self, name: str) -> Summary:
        return Summary.of([run.system for run in self.runs[name]])

    def rss_mib(self, name: str) -> Summary:
        return Summary.of([run.max_rss_kib / 1024 for run in self.runs[name]])

    def save(self, path: str) -> None:
        """Every timed run, for a closer look."""
        with open(path, "w") as out:
            json.dump({name: [asdict(run) for run in runs]
                       for name, runs in self.runs.items()}, out, indent=1)

    def ratio(self, a: str, b: str) -> Summary:
        """Wall time of a over that of b, taken round by round."""
        pairs = zip(self.runs[a], self.runs[b])
        return Summary.of([x.wall / y.wall for x, y in pairs])


class ContenderFailed(RuntimeError):
    pass


TIME = "/usr/bin/time"


def run_once(contender: Contender, log_folder: str, settle: float) -> Run:
    stderr_path = os.path.join(log_folder, contender.name + ".stderr")
    rss_path = os.path.join(log_folder, contender.name + ".rss")
    time.sleep(settle)
    argv = [TIME, "-f", "%M", "-o", rss_path, *contender.argv]
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
        (os.POSIX_SPAWN_OPEN, 2, stderr_path,
         os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
    ]
    env = contender.env if contender.env is not None else os.environ
    start = time.perf_counter()
    pid = os.posix_spawn(TIME, argv, env, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    with open(stderr_path, errors="replace") as errors:
        stderr = errors.read()
    with open(rss_path) as rss:
        # A child that failed adds a "Command exited" line before the figure.
        max_rss_kib = int(rss.read().split()[-1])
    run = Run(wall, usage.ru_utime, usage.ru_stime, max_rss_kib,
              os.waitstatus_to_exitcode(status), stderr)
    problem = contender.check(run)
    if problem is not None:
        raise ContenderFailed(f"{contender.name}: {problem}\n{stderr}")
    contender.clean_up()
    return run


def run_rounds(contenders: List[Contender], warmups: int, rounds: int,
               log_folder: str, settle: float) -> Results:
    """`warmups` untimed rounds, then `rounds` timed ones. Each pause lasts
    between `settle` and twice that; the draws come from a fixed seed."""
    draw = random.Random(7)
    results = Results({c.name: [] for c in contenders})
    for index in range(warmups + rounds):
        for contender in draw.sample(contenders, len(contenders)):
            run = run_once(contender, log_folder,
                           draw.uniform(settle, 2 * settle))
            if index >= warmups:
                results.runs[contender.name].append(run)
    return results


def exited_cleanly(run: Run) -> Optional[str]:
    if run.exit_code != 0:
        return f"exit code {run.exit_code}"
    return None


def exited_silently(run: Run) -> Optional[str]:
    """The bootstrap tells every failure on standard error and exits with 0."""
    return exited_cleanly(run) or ("wrote to standard error"
                                   if run.stderr else None)
