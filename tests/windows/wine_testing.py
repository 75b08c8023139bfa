"""Test-case base and entry point for the tests that run the Windows build
under Wine.

CTest runs each case as its own process: `<suite>.py <Class.test>`. The
settings come from the environment that CTest gives:

  VCBOOT_WIN64_BIN_DIR  the win64 build's bin folder: vcboot.exe, vcpack.exe
                        and the test programs (WINDOWS_PROGRAMS)
  VCBOOT_NATIVE_BIN_DIR the native build's bin folder, with the Linux vcpack
  VCBOOT_WINE_PREFIX    the Wine prefix shared by every case of a test run
  VCBOOT_SOURCE_DIR     the source tree, for the texts the program shows

Where Wine, Xvfb or xdotool is missing, a case prints "skipped: Wine not
installed" and exits with SKIP_EXIT_CODE, which CTest reports as skipped.
Everything else that is missing (the Windows programs above all) fails.
"""

from __future__ import annotations

import os
import re
import shutil
import sys
import unittest
from dataclasses import dataclass
from pathlib import Path
from types import ModuleType

from wine_harness import Display, HarnessError, WinePrefix, WineSession, find_tools

SKIP_EXIT_CODE = 77
WINDOWS_PROGRAMS = ("vcboot.exe", "vcpack.exe", "launch_command_line.exe", "record_run.exe",
                    "format_check.exe")


def setting(name: str) -> Path:
    value = os.environ.get(name)
    if not value:
        raise HarnessError(f"{name} is not set; run the Wine tests through CTest")
    return Path(value)


def c_string_constant(source: Path, name: str) -> str:
    """The value of `constexpr char name[] = "..." "...";` in a C++ source."""
    text = source.read_text()
    match = re.search(re.escape(name) + r'\[\]\s*=((?:\s*"(?:[^"\\\n]|\\.)*")+)\s*;', text)
    if match is None:
        raise HarnessError(f"no string constant {name} in {source}")
    escapes = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'"}
    literals = re.findall(r'"((?:[^"\\\n]|\\.)*)"', match.group(1))
    return re.sub(r"\\(.)", lambda m: escapes[m.group(1)], "".join(literals))


@dataclass
class Report:
    """What record_run.exe saw when it ran (see programs/record_run.cpp)."""

    command_line: str
    working_directory: str
    files: list[str]
    folder_rights: str  # the working directory's DACL, in SDDL


def read_report(path: Path) -> Report:
    fields: dict[str, list[str]] = {}
    for line in path.read_bytes().decode("latin-1").split("\n")[:-1]:
        key, _, value = line.partition("=")
        fields.setdefault(key, []).append(value)
    return Report(fields["command_line"][0], fields["working_directory"][0],
                  sorted(fields.get("file", [])), fields["folder_rights"][0])


class WineTestCase(unittest.TestCase):
    """Gives each case a fresh display, a session on the shared prefix, a
    scratch folder inside the prefix's drive C and an empty set of work
    folders in the Windows user's temporary directory. Cases of console
    programs, which show no window, do without the display and session."""

    needs_display = True

    def setUp(self) -> None:
        tools, missing = find_tools()
        if tools is None:
            raise HarnessError(f"missing {', '.join(missing)}")
        self.bin_dir = setting("VCBOOT_WIN64_BIN_DIR")
        self.source_dir = setting("VCBOOT_SOURCE_DIR")
        self.prefix = WinePrefix(setting("VCBOOT_WINE_PREFIX"), tools)
        if not self.prefix.is_ready():
            self.prefix.create()

        self.scratch = self.prefix.drive_c / "tests" / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.scratch, ignore_errors=True)
        self.scratch.mkdir(parents=True)
        self.temp_dir = self.prefix.user_temp_directory()
        for folder in self.work_folders():
            shutil.rmtree(self.temp_dir / folder)

        if not self.needs_display:
            self.addCleanup(self.prefix.kill_server)
            return
        display = Display(tools, self.scratch / "xvfb.log")
        display.start()
        self.addCleanup(display.stop)
        self.session = WineSession(self.prefix, display, tools, self.scratch,
                                   launcher=self.bin_dir / "launch_command_line.exe")
        self.addCleanup(self.session.close)

    def program(self, name: str) -> Path:
        return self.bin_dir / name

    def windows_path(self, path: Path) -> str:
        return self.prefix.windows_path(path)

    def work_folders(self) -> list[str]:
        """The VC<n> folders in the Windows user's temporary directory."""
        return sorted(entry.name for entry in self.temp_dir.iterdir()
                      if entry.is_dir() and re.fullmatch(r"VC-?\d+", entry.name))


def _test_names(module: ModuleType) -> list[str]:
    names = []
    loader = unittest.TestLoader()
    for value in vars(module).values():
        if isinstance(value, type) and issubclass(value, WineTestCase) and value.__module__ == module.__name__:
            names += [f"{value.__name__}.{name}" for name in loader.getTestCaseNames(value)]
    return names


def _skip_reason() -> str:
    _, missing = find_tools()
    return f"skipped: Wine not installed (missing {', '.join(missing)})" if missing else ""


def _missing_programs() -> list[str]:
    bin_dir = setting("VCBOOT_WIN64_BIN_DIR")
    return [str(bin_dir / name) for name in WINDOWS_PROGRAMS if not (bin_dir / name).is_file()]


def main(module: ModuleType) -> int:
    """`--list` prints the cases for CTest; `--setup-prefix` makes the shared
    prefix afresh; otherwise the named cases run."""
    arguments = sys.argv[1:]
    if arguments == ["--list"]:
        print("\n".join(_test_names(module)))
        return 0
    reason = _skip_reason()
    if reason:
        print(reason)
        return SKIP_EXIT_CODE
    missing = _missing_programs()
    if missing:
        print("The Windows programs are not built (cmake --workflow --preset win64): "
              + ", ".join(missing))
        return 1
    if arguments == ["--setup-prefix"]:
        tools, _ = find_tools()
        WinePrefix(setting("VCBOOT_WINE_PREFIX"), tools).create()
        return 0
    program = unittest.main(module=module, argv=[sys.argv[0], "-v", *arguments], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    # On its own: says why the Wine tests would be skipped, if they would.
    print(_skip_reason())
