#!/usr/bin/env python3
"""Runs Windows programs under Wine on a private X display and answers their
message boxes, for the tests of the Windows build and for scripts/demo.

Each program is started by the loader of its own architecture, read from its
PE header: /usr/lib/wine/wine for i386, wine64 for x86-64. (wine64 given an
i386 program without 32-bit Wine prints nothing and exits 0.) A run counts
only when Wine's trace (WINEDEBUG=trace+loaddll) shows that the program's
image was loaded; an exit code alone proves nothing.

A message box's caption is its window's name (read with xdotool); its text
comes from Wine's own trace (WINEDEBUG=trace+msgbox) on standard error. There
is no window manager, so a box is closed by giving it the focus and pressing
Return.

A run fails when Wine tells of a crash (on standard error) in the program or
in any program it started. A crash in one of Wine's own programs, which
start beside the first program of a server, is told and let pass.

Nothing here waits without a time limit. A program that outlives its limit is
killed, together with every process of its Wine prefix, and the test fails
with the boxes and the trace seen up to then.
"""

from __future__ import annotations

import argparse
import ctypes
import itertools
import os
import pwd
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Optional, Sequence

# How often the display is looked at while a program runs.
POLL_SECONDS = 0.1
# A box that is still there this long after Return was pressed gets another.
REPRESS_SECONDS = 1.0
# Limit for each call of a helper tool (xdotool, wineserver).
TOOL_SECONDS = 10.0
# The name of the console that winedbg opens when a process crashes.
CRASH_WINDOW = "Wine Debugger"


class HarnessError(AssertionError):
    """A program under test could not be run to its end: the test fails."""


# The PE header's machine types, and where Debian puts the loader of each.
MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
LOADER_32 = "/usr/lib/wine/wine"


@dataclass(frozen=True)
class WineTools:
    loader: str  # wine64: x86-64 programs, and the prefix's own tools
    server: str  # wineserver, to end every process of a prefix
    xvfb: str
    xdotool: str
    loader32: Optional[str] = None  # /usr/lib/wine/wine: i386 programs

    def loader_for(self, program: Path) -> str:
        """The loader of `program`'s architecture."""
        machine = pe_machine(program)
        if machine == MACHINE_AMD64:
            return self.loader
        if machine != MACHINE_I386:
            found = "no PE header" if machine is None else f"machine type {machine:#x}"
            raise HarnessError(f"{program} is no i386 or x86-64 Windows program ({found})")
        if self.loader32 is None:
            raise HarnessError(f"{program} is an i386 program, and 32-bit Wine "
                               f"({LOADER_32}, Debian's wine32:i386) is not installed")
        return self.loader32


def pe_machine(program: Path) -> Optional[int]:
    """The machine type in `program`'s PE header; None when it has none."""
    try:
        with open(program, "rb") as file:
            dos_header = file.read(64)
            if len(dos_header) < 64 or dos_header[:2] != b"MZ":
                return None
            file.seek(int.from_bytes(dos_header[60:64], "little"))
            signature = file.read(6)
    except OSError as error:
        raise HarnessError(f"cannot read {program}: {error}") from error
    if len(signature) < 6 or signature[:4] != b"PE\0\0":
        return None
    return int.from_bytes(signature[4:6], "little")


def find_tools() -> tuple[Optional[WineTools], list[str]]:
    """The tools, or None and the names of those that are missing. The 32-bit
    loader is optional here: only i386 programs need it."""
    found = {
        "wine64": _first_program("VCBOOT_WINE_LOADER", "/usr/lib/wine/wine64", "wine64"),
        "wineserver": _first_program("VCBOOT_WINESERVER", "/usr/lib/wine/wineserver",
                                     "wineserver"),
        "Xvfb": shutil.which("Xvfb"),
        "xdotool": shutil.which("xdotool"),
    }
    missing = [name for name, path in found.items() if path is None]
    if missing:
        return None, missing
    # Not looked up on the PATH: Debian's /usr/bin/wine is a script that
    # falls back to wine64.
    loader32 = _first_program("VCBOOT_WINE_LOADER32", LOADER_32, None)
    return WineTools(found["wine64"], found["wineserver"], found["Xvfb"], found["xdotool"],
                     loader32), []


def _first_program(variable: str, usual_path: str, name: Optional[str]) -> Optional[str]:
    for candidate in (os.environ.get(variable), usual_path):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return shutil.which(name) if name else None


def _die_with_parent() -> None:
    # Runs in the child before exec: if the test process is killed (say by
    # CTest's own time limit), its display and programs go with it.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def _run_tool(command: Sequence[str], environment: Optional[dict] = None,
              seconds: float = TOOL_SECONDS,
              cwd: Optional[Path] = None) -> subprocess.CompletedProcess:
    # Output goes through files, not pipes: a Wine server that the call starts
    # inherits them, and would keep a pipe open until it exits seconds later.
    with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
        try:
            done = subprocess.run(command, env=environment, stdout=stdout, stderr=stderr,
                                  timeout=seconds, cwd=cwd)
        except subprocess.TimeoutExpired as error:
            raise HarnessError(f"{command[0]} did not end within {seconds:.0f} s: "
                               f"{' '.join(command)}") from error
        outputs = []
        for output in (stdout, stderr):
            output.seek(0)
            outputs.append(output.read().decode(errors="replace"))
    return subprocess.CompletedProcess(command, done.returncode, *outputs)


class Display:
    """An Xvfb server on a display number that it picks itself (-displayfd)."""

    def __init__(self, tools: WineTools, log_path: Path):
        self._tools = tools
        self._log_path = log_path
        self._process: Optional[subprocess.Popen] = None
        self.name = ""

    def start(self, seconds: float = 20) -> None:
        read_end, write_end = os.pipe()
        with open(self._log_path, "wb") as log:
            self._process = subprocess.Popen(
                [self._tools.xvfb, "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(write_end,),
                preexec_fn=_die_with_parent)
        os.close(write_end)
        try:
            number = _read_line(read_end, seconds)
        finally:
            os.close(read_end)
        if not number.isdigit():
            self.stop()
            raise HarnessError(f"Xvfb gave no display number within {seconds:.0f} s: "
                               f"{self._log_path.read_text(errors='replace')}")
        self.name = ":" + number

    def stop(self) -> None:
        if self._process is None:
            return
        self._process.terminate()
        try:
            self._process.wait(5)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait(5)
        self._process = None


def _read_line(fd: int, seconds: float) -> str:
    deadline = time.monotonic() + seconds
    data = b""
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, 64)
        if not chunk:
            break
        data += chunk
    return data.decode(errors="replace").strip()


class WinePrefix:
    """A Wine prefix (a fake Windows installation) in a folder of its own."""

    READY_MARK = "vcboot-prefix-ready"

    def __init__(self, path: Path, tools: WineTools):
        self.path = path
        self._tools = tools

    def environment(self, display: Optional[str] = None) -> dict:
        environment = dict(os.environ)
        environment["WINEPREFIX"] = str(self.path)
        environment["WINEDEBUG"] = "-all"
        # No offers to install Wine's .NET and HTML engines.
        environment["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        environment.pop("DISPLAY", None)
        if display:
            environment["DISPLAY"] = display
        return environment

    def is_ready(self) -> bool:
        return (self.path / self.READY_MARK).is_file()

    def create(self, seconds: float = 300) -> None:
        """Makes the prefix afresh; the first start of Wine takes a while."""
        if self.path.exists():
            self.kill_server()
            shutil.rmtree(self.path)
        self.path.parent.mkdir(parents=True, exist_ok=True)
        environment = self.environment()
        steps = [
            ([self._tools.loader, "wineboot", "-i"], seconds),
            # Windows that no window manager manages: without one, Wine waits
            # two seconds for each closed box to be withdrawn.
            ([self._tools.loader, "reg", "add", r"HKCU\Software\Wine\X11 Driver",
              "/v", "Managed", "/d", "N", "/f"], 60),
            # A crash of any Wine process would otherwise raise winedbg's own
            # dialog, which nothing answers. The harness finds each crash in
            # what Wine writes on standard error instead: an i386 program
            # that crashed may end with exit code 0 under the 32-bit loader.
            ([self._tools.loader, "reg", "add", r"HKCU\Software\Wine\WineDbg",
              "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"], 60),
            ([self._tools.server, "-w"], 60),
        ]
        for command, limit in steps:
            done = _run_tool(command, environment, limit)
            if done.returncode != 0:
                raise HarnessError(f"{' '.join(command)} failed ({done.returncode}): "
                                   f"{done.stderr[-2000:]}")
        if not self.user_temp_directory().is_dir():
            raise HarnessError(f"wineboot made no temporary directory in {self.path}")
        (self.path / self.READY_MARK).write_text("made by wineboot -i\n")

    def kill_server(self) -> None:
        """Ends every Wine process of this prefix, and its server."""
        if (self.path / "system.reg").exists():
            _run_tool([self._tools.server, "-k"], self.environment())
            _run_tool([self._tools.server, "-w"], self.environment())

    def run_console_program(self, program: Path, arguments: Sequence[str], cwd: Path,
                            environment: Optional[dict] = None,
                            seconds: float = 120) -> subprocess.CompletedProcess:
        """Runs a console program to its end without a display, in `cwd`
        (Windows sees the folder that maps to it), and returns its exit code
        and what it wrote (Wine's trace taken out). Unix variables in
        `environment` reach it as they are; LC_ALL tells Wine how the
        arguments are encoded."""
        full_environment = self.environment()
        full_environment.update(environment or {})
        full_environment["WINEDEBUG"] = "-all,+pid,trace+loaddll"
        loader = self._tools.loader_for(program)
        done = _run_tool([loader, str(program), *arguments], full_environment, seconds, cwd)
        check_loaded(done.stderr, self.windows_path(program), loader, done.returncode)
        check_no_crash(done.stderr, program.name, done.returncode)
        done.stderr = wine_messages(done.stderr)
        return done

    def user_variable(self, name: str) -> Optional[tuple[str, str]]:
        """(type, data) of `name` in the Windows user's environment
        (HKCU\\Environment), as the registry holds it; None when it is unset."""
        done = self._reg("query", "/v", name)
        match = re.search(rf"^\s+{re.escape(name)}\s+(REG_\w+)\s+(.*?)\r?$", done.stdout,
                          re.MULTILINE | re.IGNORECASE)
        return (match.group(1), match.group(2)) if done.returncode == 0 and match else None

    def set_user_variable(self, name: str, value: Optional[tuple[str, str]]) -> None:
        """Sets (type, data) of `name` in the Windows user's environment, or
        removes it for None. Programs started afterwards see the change."""
        if value is None:
            done = self._reg("delete", "/v", name, "/f")
        else:
            done = self._reg("add", "/v", name, "/t", value[0], "/d", value[1], "/f")
        if done.returncode != 0:
            raise HarnessError(f"could not set {name} in HKCU\\Environment: {done.stderr[-500:]}")

    def _reg(self, command: str, *arguments: str) -> subprocess.CompletedProcess:
        return _run_tool([self._tools.loader, "reg", command, r"HKCU\Environment", *arguments],
                         self.environment(), 60)

    @property
    def drive_c(self) -> Path:
        return self.path / "drive_c"

    def user_temp_directory(self) -> Path:
        """The Windows user's temporary directory, C:\\users\\<user>\\Temp."""
        users = self.drive_c / "users"
        usual = users / pwd.getpwuid(os.getuid()).pw_name / "Temp"
        if usual.is_dir():
            return usual
        found = sorted(users.glob("*/Temp"))
        return found[0] if len(found) == 1 else usual

    def windows_path(self, path: Path) -> str:
        """The path under which Windows programs in this prefix see `path`."""
        path = Path(os.path.abspath(path))
        try:
            inside = path.relative_to(self.drive_c)
            return "C:\\" + "\\".join(inside.parts)
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")


@dataclass
class RunResult:
    """What one Windows program did: its exit code and its message boxes."""

    exit_code: int  # the Windows exit code's low 8 bits; negative: killed
    captions: list[str]
    texts: list[str]
    trace: str  # everything the program (and Wine) wrote to standard error

    @property
    def boxes(self) -> list[tuple[Optional[str], Optional[str]]]:
        """(caption, text) of each box in order; None where one side is missing."""
        return list(itertools.zip_longest(self.captions, self.texts))


_MSGBOX_TRACE = re.compile(r'trace:msgbox:MSGBOX_OnInit L"(.*)"(\.\.\.)?$')
_TRACE_LINE = re.compile(r"^([0-9a-f]+:){1,2}trace:(loaddll|msgbox):")
_LOADED_TRACE = re.compile(r':trace:loaddll:\w+ Loaded L"((?:[^"\\]|\\.)*)"(\.\.\.)? at ')
_TRUNCATED_MARK = "\u2026[cut short by Wine's trace]"


def message_box_texts(trace: str) -> list[str]:
    """The text of every box in a trace+msgbox log, in order."""
    texts = []
    for line in trace.splitlines():
        match = _MSGBOX_TRACE.search(line)
        if match:
            text = decode_wine_string(match.group(1))
            # Wine stops a traced string at about 300 characters.
            texts.append(text + _TRUNCATED_MARK if match.group(2) else text)
    return texts


def wine_messages(trace: str) -> str:
    """What Wine itself said on standard error ("wine: Unhandled page fault
    ... starting debugger"), without the trace lines that the harness asked
    for."""
    return "".join(line for line in trace.splitlines(keepends=True)
                   if not _TRACE_LINE.match(line))


_CRASH_MESSAGE = re.compile(r"^wine: (.*) \(thread ([0-9a-f]+)\), starting debugger",
                            re.MULTILINE)
_CRASH_ADDRESS = re.compile(r"at address ([0-9A-Fa-f]+)")
# With WINEDEBUG's +pid, each trace line begins with its process and thread.
_TRACE_THREAD = re.compile(r"^([0-9a-f]+):([0-9a-f]+):", re.MULTILINE)
_MODULE_LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded '
                            r'L"((?:[^"\\]|\\.)*)"(?:\.\.\.)? at ([0-9A-Fa-f]+)', re.MULTILINE)


def crashed_programs(trace: str) -> list[tuple[str, list[str]]]:
    """(what Wine said, the Windows paths of the programs whose process may
    have crashed) of each crash in a trace taken with +pid. A thread that
    wrote a trace line belongs to a known process. A thread that did not
    (a service's worker, say) is put down to the processes that loaded the
    module lying at the crash's address: the one with the highest base below
    it, which Wine loads at the same base in every process. The list is
    empty when the trace does not tell."""
    process_of = {thread: process for process, thread in _TRACE_THREAD.findall(trace)}
    program_of: dict[str, str] = {}  # a process's first .exe is its program
    modules: list[tuple[int, str]] = []  # (base, process)
    for process, path, base in _MODULE_LOADED.findall(trace):
        path = decode_wine_string(path)
        if path.lower().endswith(".exe"):
            program_of.setdefault(process, path)
        modules.append((int(base, 16), process))
    crashes = []
    for match in _CRASH_MESSAGE.finditer(trace):
        what, thread = match.group(1), match.group(2)
        address = _CRASH_ADDRESS.search(what)
        if thread in process_of:
            processes = {process_of[thread]}
        elif address:
            below = [base for base, _ in modules if base <= int(address.group(1), 16)]
            processes = {process for base, process in modules if below and base == max(below)}
        else:
            processes = set()
        crashes.append((what, sorted(program_of.get(process, "?") for process in processes)))
    return crashes


def is_wine_program(windows_path: str) -> bool:
    return windows_path.lower().startswith("c:\\windows\\")


def check_loaded(trace: str, windows_path: str, loader: str, exit_code: int) -> None:
    """Fails unless Wine's loaddll trace shows the image at `windows_path`
    loaded: a loader may end, and exit 0, without running the program."""
    wanted = windows_path.lower()
    for match in _LOADED_TRACE.finditer(trace):
        loaded = decode_wine_string(match.group(1)).lower()
        # Wine cuts a long string short, after about 300 characters.
        if loaded == wanted or (match.group(2) and wanted.startswith(loaded)):
            return
    raise HarnessError(f"{loader} ended (exit code {exit_code}) without running "
                       f"{windows_path}: Wine's trace shows no load of it; "
                       f"standard error (end): {trace[-2000:]!r}")


def check_no_crash(trace: str, label: str, exit_code: int, window_seen: bool = False) -> None:
    """Fails when a process of the run crashed; Wine tells each crash on
    standard error, whether or not winedbg's window was seen. A crash in one
    of Wine's own programs (services and the desktop, which start beside the
    first program of a server) says nothing about the program under test:
    it is told on standard error and let pass."""
    crashes = crashed_programs(trace)
    ours = [crash for crash in crashes
            if not crash[1] or not all(map(is_wine_program, crash[1]))]
    if ours or (window_seen and not crashes):
        raise HarnessError(f"{label}: a process crashed during the run (exit code {exit_code}); "
                           f"crashes: {ours!r}; what Wine said: "
                           f"{wine_messages(trace)[-3000:]!r}")
    for what, programs in crashes:
        print(f"wine_harness: Wine's own {' or '.join(programs)} crashed during the run of {label} "
              f"({what}); its window is not counted as a box", file=sys.stderr, flush=True)


def decode_wine_string(escaped: str) -> str:
    """Undoes Wine's debugstr_w escapes: \\n \\r \\t \\" \\\\ and \\XXXX (hex)."""
    simple = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}
    text = []
    at = 0
    while at < len(escaped):
        char = escaped[at]
        if char != "\\" or at + 1 == len(escaped):
            text.append(char)
            at += 1
        elif escaped[at + 1] in simple:
            text.append(simple[escaped[at + 1]])
            at += 2
        else:
            text.append(chr(int(escaped[at + 1:at + 5], 16)))
            at += 5
    return "".join(text)


class WineSession:
    """One prefix and one display: starts Windows programs and answers boxes.

    A box is answered by the process whose `finish` is running, unless another
    process has claimed it with `wait_for_box` (a test that keeps a first
    instance's box open while a second instance runs).
    """

    def __init__(self, prefix: WinePrefix, display: Display, tools: WineTools,
                 scratch: Path, launcher: Optional[Path] = None):
        self.prefix = prefix
        self._display = display
        self._tools = tools
        self._scratch = scratch
        self._launcher = launcher
        self._claimed: dict[int, "WineProcess"] = {}
        self._running: list["WineProcess"] = []
        self._count = 0

    def start(self, program: Path, arguments: Sequence[str] = (),
              environment: Optional[dict] = None) -> "WineProcess":
        """Starts `program` with the loader of its architecture, which quotes
        `arguments` its own way."""
        return self._start(program, arguments, program.name, environment)

    def start_command_line(self, command_line: str,
                           environment: Optional[dict] = None) -> "WineProcess":
        """Starts the program that `command_line` names, given that exact text
        (through CreateProcessA in the launch_command_line helper)."""
        if self._launcher is None:
            raise HarnessError("no launch_command_line.exe was given to the session")
        environment = dict(environment or {})
        environment["VCBOOT_TEST_COMMAND_LINE"] = command_line
        return self._start(self._launcher, (), command_line, environment)

    def run(self, program: Path, arguments: Sequence[str] = (),
            environment: Optional[dict] = None, seconds: float = 60) -> RunResult:
        return self.start(program, arguments, environment).finish(seconds)

    def run_command_line(self, command_line: str, environment: Optional[dict] = None,
                         seconds: float = 60) -> RunResult:
        return self.start_command_line(command_line, environment).finish(seconds)

    def close(self) -> None:
        """Kills whatever is still running and ends the prefix's server."""
        for process in list(self._running):
            process.kill()
        self.prefix.kill_server()

    def _start(self, program: Path, arguments: Sequence[str], label: str,
               environment: Optional[dict]) -> "WineProcess":
        self._count += 1
        full_environment = self.prefix.environment(self._display.name)
        full_environment.update(environment or {})
        full_environment["WINEDEBUG"] = "-all,+pid,trace+msgbox,trace+loaddll"
        stderr_path = self._scratch / f"wine-{self._count}.stderr"
        loader = self._tools.loader_for(program)
        with open(stderr_path, "wb") as stderr:
            popen = subprocess.Popen([loader, str(program), *arguments], env=full_environment,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=stderr, start_new_session=True,
                                     preexec_fn=_die_with_parent)
        process = WineProcess(self, popen, label, stderr_path,
                              (loader, self.prefix.windows_path(program)))
        self._running.append(process)
        return process

    # --- the display

    def _visible_named_windows(self) -> list[tuple[int, str]]:
        # Wine's own helper windows may be visible with an empty name; every
        # message box has a caption.
        environment = dict(os.environ, DISPLAY=self._display.name)
        found = _run_tool([self._tools.xdotool, "search", "--onlyvisible", "--name", ".+"],
                          environment)
        windows = []
        for word in found.stdout.split():
            name = _run_tool([self._tools.xdotool, "getwindowname", word], environment)
            if name.returncode == 0 and name.stdout.rstrip("\n"):
                windows.append((int(word), name.stdout.rstrip("\n")))
        return windows

    def _press_return(self, window: int) -> None:
        environment = dict(os.environ, DISPLAY=self._display.name)
        focus = _run_tool([self._tools.xdotool, "windowfocus", "--sync", str(window)],
                          environment)
        if focus.returncode == 0:
            _run_tool([self._tools.xdotool, "key", "Return"], environment)

    def _forget(self, process: "WineProcess") -> None:
        if process in self._running:
            self._running.remove(process)
        for window in [w for w, owner in self._claimed.items() if owner is process]:
            del self._claimed[window]


class WineProcess:
    """A Windows program started by a `WineSession`."""

    def __init__(self, session: WineSession, popen: subprocess.Popen, label: str,
                 stderr_path: Path, started: tuple[str, str]):
        self._session = session
        self._popen = popen
        self._label = label
        self._stderr_path = stderr_path
        self._started = started  # (loader, the program's Windows path)
        self._captions: list[str] = []
        self._pressed: dict[int, float] = {}  # window -> when Return was pressed

    @property
    def running(self) -> bool:
        return self._popen.poll() is None

    def wait_for_box(self, caption: str, seconds: float = 30) -> None:
        """Waits until a box with `caption` is shown, claims it for this
        process and leaves it open; `finish` answers it later."""
        claimed = self._session._claimed

        def shown() -> bool:
            for window, name in self._session._visible_named_windows():
                if window not in claimed and name == caption:
                    claimed[window] = self
                    self._captions.append(name)
                    return True
            return False

        self.wait_until(shown, f'a "{caption}" box', seconds)

    def wait_until(self, condition: Callable[[], bool], what: str,
                   seconds: float = 30) -> None:
        """Polls `condition` (boxes are left alone meanwhile); fails when the
        program ends first or the time runs out."""
        deadline = time.monotonic() + seconds
        while not condition():
            if not self.running:
                raise HarnessError(f"{self._label} ended (exit code {self._popen.returncode}) "
                                   f"before {what}; {self._seen()}")
            if time.monotonic() > deadline:
                self._give_up(f"no {what} within {seconds:.0f} s")
            time.sleep(POLL_SECONDS)

    def finish(self, seconds: float = 60) -> RunResult:
        """Answers this program's boxes until it ends, and returns what it did."""
        deadline = time.monotonic() + seconds
        while self.running:
            self._answer_boxes()
            if time.monotonic() > deadline:
                self._give_up(f"still running after {seconds:.0f} s")
            time.sleep(POLL_SECONDS)
        self._session._forget(self)
        trace = self._trace()
        loader, program = self._started
        check_loaded(trace, program, loader, self._popen.returncode)
        check_no_crash(trace, self._label, self._popen.returncode,
                       CRASH_WINDOW in self._captions)
        # winedbg's console, shown while it writes down a crash.
        captions = [caption for caption in self._captions if caption != CRASH_WINDOW]
        return RunResult(self._popen.returncode, captions, message_box_texts(trace), trace)

    def kill(self) -> None:
        if self.running:
            os.killpg(self._popen.pid, signal.SIGKILL)
        try:
            self._popen.wait(TOOL_SECONDS)
        except subprocess.TimeoutExpired:
            pass
        self._session._forget(self)

    def _answer_boxes(self) -> None:
        claimed = self._session._claimed
        now = time.monotonic()
        for window, name in self._session._visible_named_windows():
            owner = claimed.get(window)
            if owner is not None and owner is not self:
                continue
            if owner is None:
                claimed[window] = self
                self._captions.append(name)
            if now - self._pressed.get(window, -REPRESS_SECONDS) >= REPRESS_SECONDS:
                self._pressed[window] = now
                self._session._press_return(window)

    def _give_up(self, why: str) -> None:
        seen = self._seen()
        self.kill()
        self._session.prefix.kill_server()
        raise HarnessError(f"{self._label}: {why}; killed it. {seen}")

    def _seen(self) -> str:
        trace = self._trace()
        return (f"Boxes seen: {self._captions!r}; their texts: {message_box_texts(trace)!r}; "
                f"standard error (end): {trace[-2000:]!r}")

    def _trace(self) -> str:
        return self._stderr_path.read_text(encoding="utf-8", errors="replace")


# --- the command line: one program, run by hand or by scripts/demo


def describe_boxes(result: RunResult) -> str:
    """Each box's caption, then its text indented one line per line break."""
    lines = []
    for caption, text in result.boxes:
        lines.append(f'Message box "{caption or "?"}", answered with Return:')
        for line in re.split(r"\r\n|\r|\n", text if text is not None else "?"):
            lines.append("    " + line)
    return "".join(line + "\n" for line in lines)


def run_one(prefix_path: Path, program: Path, arguments: Sequence[str], logs: Path,
            seconds: float) -> RunResult:
    """Runs `program` in the prefix (made first if it is not ready yet) on a
    display of its own, answering its boxes, and ends every process of the
    prefix and the display afterwards."""
    tools, missing = find_tools()
    if tools is None:
        raise HarnessError(f"missing {', '.join(missing)}")
    prefix = WinePrefix(prefix_path, tools)
    if not prefix.is_ready():
        print(f"Preparing a Wine prefix in {prefix_path} (once; up to a minute)...",
              file=sys.stderr, flush=True)
        prefix.create()
    display = Display(tools, logs / "xvfb.log")
    display.start()
    try:
        session = WineSession(prefix, display, tools, logs)
        try:
            return session.run(program, arguments, seconds=seconds)
        finally:
            session.close()
    finally:
        display.stop()


def main() -> int:
    parser = argparse.ArgumentParser(
        description="Runs one Windows program under Wine on a private X display, "
                    "answers its message boxes with Return, and prints each box and "
                    "the program's exit code. Exits 0 when the program ran to its end, "
                    "1 when it could not be run or outlived its time limit.")
    parser.add_argument("--prefix", type=Path, required=True, metavar="DIR",
                        help="the Wine prefix; made when it is not ready yet")
    parser.add_argument("--logs", type=Path, metavar="DIR",
                        help="keep the display's log and Wine's trace (wine-1.stderr) here")
    parser.add_argument("--seconds", type=float, default=120, metavar="N",
                        help="time limit for the program (default: %(default)s)")
    parser.add_argument("program", type=Path, help="the Windows program (a Linux path)")
    parser.add_argument("arguments", nargs=argparse.REMAINDER,
                        help="its arguments, which Wine quotes its own way")
    options = parser.parse_args()
    try:
        with tempfile.TemporaryDirectory(prefix="wine-harness.") as scratch:
            logs = options.logs or Path(scratch)
            logs.mkdir(parents=True, exist_ok=True)
            result = run_one(options.prefix.absolute(), options.program, options.arguments,
                             logs.absolute(), options.seconds)
    except HarnessError as error:
        print(f"wine_harness: {error}", file=sys.stderr)
        return 1
    sys.stdout.write(describe_boxes(result))
    print(f"Exit code: {result.exit_code}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
