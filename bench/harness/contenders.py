"""The programs measured, each as a Contender that checks its own run."""

import os
import shutil
from typing import List

from timing import Contender, exited_cleanly, exited_silently


def _left_in(folder: str):
    """A check: the run must leave `folder` empty (its work folder gone)."""
    def check(run):
        left = os.listdir(folder)
        return f"left {left}" if left else None
    return check


def vcboot(name: str, package: str, temp: str) -> Contender:
    """The package itself; its work folder goes under `temp`, its
    single-instance lock into a private runtime folder beside it."""
    gone = _left_in(temp)
    runtime = temp + ".run"
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    return Contender(name, [package],
                     dict(os.environ, TMPDIR=temp + "/", XDG_RUNTIME_DIR=runtime),
                     check=lambda run: exited_silently(run) or gone(run))


def makeself(name: str, package: str, temp: str) -> Contender:
    gone = _left_in(temp)
    return Contender(name, [package, "--quiet", "--noprogress"],
                     dict(os.environ, TMPDIR=temp),
                     check=lambda run: exited_cleanly(run) or gone(run))


def sevenzip(name: str, package: str, output: str,
             file_count: int) -> Contender:
    """The console SFX module extracting into `output`."""
    def check(run):
        found = len(os.listdir(output)) if os.path.isdir(output) else 0
        return exited_cleanly(run) or (
            None if found == file_count else f"extracted {found} files")

    return Contender(name, [package, "x", "-bd", "-y", f"-o{output}"],
                     check=check, clean_up=lambda: shutil.rmtree(output))


def floor(name: str, files: List[str], output: str,
          removal: bool = False) -> Contender:
    """What any self-extractor must do at least: digest the bytes with MD5
    and copy them into a new folder. With `removal`, the copy is removed
    within the timed run too, as a self-extractor removes its work folder;
    without, the harness removes it untimed."""
    script = ('out=$1; shift; md5sum -- "$@" >/dev/null && '
              'mkdir -- "$out" && cp -- "$@" "$out"/')
    if not removal:
        return Contender(name, ["sh", "-c", script, "sh", output, *files],
                         check=exited_cleanly,
                         clean_up=lambda: shutil.rmtree(output))

    def removed(run):
        return exited_cleanly(run) or (
            f"left {output}" if os.path.exists(output) else None)

    return Contender(name, ["sh", "-c", script + ' && rm -r -- "$out"', "sh",
                            output, *files], check=removed)
