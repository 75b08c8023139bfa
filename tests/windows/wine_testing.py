"""Test-case base and entry point for the tests that run the Windows build
under Wine.

CTest runs each case as its own process: `<suite>.py <Class.test>`, once
for each Windows build in the case's `targets`. The settings come from the
environment that CTest gives:

  VCBOOT_WINDOWS_TARGET  win32 or win64: the build whose programs run
  VCBOOT_WINDOWS_BIN_DIR that build's bin folder: vcboot.exe and the test
                         programs (programs_of; vcpack.exe in win64 only)
  VCBOOT_NATIVE_BIN_DIR  the native build's bin folder, with the Linux vcpack
  VCBOOT_WINE_PREFIX     the Wine prefix shared by every case of a test run
  VCBOOT_SOURCE_DIR      the source tree, for the texts the program shows
  VCBOOT_I386_UNAVAILABLE set (by scripts/test) when this machine cannot run
                         i386 code: why

Where Wine, Xvfb or xdotool is missing, a case prints "skipped: Wine not
installed" and exits with SKIP_EXIT_CODE, which CTest reports as skipped; a
win32 case does the same where 32-bit Wine is missing or the machine cannot
run i386 code. Everything else that is missing (the Windows programs above
all) fails.
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

from wine_harness import LOADER_32, Display, HarnessError, WinePrefix, WineSession, find_tools

SKIP_EXIT_CODE = 77
TARGETS = ("win32", "win64")


def programs_of(target: str) -> list[str]:
    """The programs of a Windows build that the cases run; the i686 build
    makes no vcpack.exe."""
    programs = ["vcboot.exe", "launch_command_line.exe", "record_run.exe", "format_check.exe",
                "version_info.exe"]
    return programs + ["vcpack.exe"] if target == "win64" else programs


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
    # The Windows builds whose programs the case runs.
    targets = TARGETS
    # An environment variable without which the cases are not listed, for
    # cases too large for every test run (scripts/bench --large sets it).
    opt_in = ""

    def setUp(self) -> None:
        tools, missing = find_tools()
        if tools is None:
            raise HarnessError(f"missing {', '.join(missing)}")
        self.tools = tools
        self.target = os.environ.get("VCBOOT_WINDOWS_TARGET", "")
        if self.target not in self.targets:
            raise HarnessError(f"VCBOOT_WINDOWS_TARGET is {self.target!r}, "
                               f"not one of {', '.join(self.targets)}")
        self.bin_dir = setting("VCBOOT_WINDOWS_BIN_DIR")
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
        self.display = Display(tools, self.scratch / "xvfb.log")
        self.display.start()
        self.addCleanup(self.display.stop)
        self.session = WineSession(self.prefix, self.display, tools, self.scratch,
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


def _test_names(module: ModuleType, target: str) -> list[str]:
    names = []
    loader = unittest.TestLoader()
    for value in vars(module).values():
        if (isinstance(value, type) and issubclass(value, WineTestCase)
                and value.__module__ == module.__name__ and target in value.targets
                and (not value.opt_in or os.environ.get(value.opt_in))):
            names += [f"{value.__name__}.{name}" for name in loader.getTestCaseNames(value)]
    return names


def _skip_reason(target: str) -> str:
    tools, missing = find_tools()
    if tools is None:
        return f"skipped: Wine not installed (missing {', '.join(missing)})"
    if target != "win32":
        return ""
    unavailable = os.environ.get("VCBOOT_I386_UNAVAILABLE")
    if unavailable:
        return f"skipped: this machine cannot run i386 code ({unavailable})"
    if tools.loader32 is None:
        return f"skipped: 32-bit Wine not installed (missing {LOADER_32}: wine32:i386)"
    return ""


def _missing_programs(target: str) -> list[str]:
    bin_dir = setting("VCBOOT_WINDOWS_BIN_DIR")
    return [str(bin_dir / name) for name in programs_of(target)
            if not (bin_dir / name).is_file()]


def main(module: ModuleType) -> int:
    """`--list TARGET` prints the cases for CTest; `--setup-prefix` makes
    the shared prefix afresh; otherwise the named cases run against the
    build that VCBOOT_WINDOWS_TARGET names."""
    arguments = sys.argv[1:]
    if len(arguments) == 2 and arguments[0] == "--list":
        print("\n".join(_test_names(module, arguments[1])))
        return 0
    target = os.environ.get("VCBOOT_WINDOWS_TARGET", "win64")
    reason = _skip_reason(target)
    if reason:
        print(reason)
        return SKIP_EXIT_CODE
    if arguments == ["--setup-prefix"]:
        tools, _ = find_tools()
        WinePrefix(setting("VCBOOT_WINE_PREFIX"), tools).create()
        return 0
    missing = _missing_programs(target)
    if missing:
        print(f"The Windows programs are not built (cmake --workflow --preset {target}): "
              + ", ".join(missing))
        return 1
    program = unittest.main(module=module, argv=[sys.argv[0], "-v", *arguments], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    # On its own: says why the Wine tests of each named build would be
    # skipped, if they would.
    for name in sys.argv[1:]:
        reason = _skip_reason(name)
        if reason:
            print(f"{name}: {reason}")
