#!/usr/bin/env python3
"""The Wine harness itself: exact command lines, exit codes, time limits,
and runs that never happened."""

import dataclasses
import sys
import time

import wine_testing
from wine_harness import HarnessError, WinePrefix, WineSession, crashed_programs
from wine_testing import WineTestCase, read_report


class LaunchHelper(WineTestCase):
    def test_passes_the_exact_command_line_and_the_exit_code(self):
        folder = self.scratch / "dir with blank"
        folder.mkdir()
        (folder / "record_run.exe").write_bytes(self.program("record_run.exe").read_bytes())
        reports = self.scratch / "reports"
        reports.mkdir()
        command_line = f'"{self.windows_path(folder)}\\record_run.exe"  a  "b  c" exit=201'

        result = self.session.run_command_line(
            command_line, {"VCBOOT_TEST_REPORT_DIR": self.windows_path(reports)})

        self.assertEqual(result.exit_code, 201)
        self.assertEqual(result.boxes, [])
        self.assertEqual(read_report(reports / "record_run.exe.report").command_line,
                         command_line)


class TimeLimit(WineTestCase):
    def test_a_program_that_never_ends_is_killed_and_fails(self):
        reports = self.scratch / "reports"
        reports.mkdir()
        (reports / "record_run.exe.hold").touch()
        process = self.session.start(self.program("record_run.exe"),
                                     environment={"VCBOOT_TEST_REPORT_DIR":
                                                  self.windows_path(reports)})
        started = time.monotonic()
        with self.assertRaisesRegex(HarnessError, "still running after 3 s"):
            process.finish(seconds=3)
        self.assertLess(time.monotonic() - started, 3 + 10)
        self.assertFalse(process.running)


class Crashes(WineTestCase):
    def test_a_crash_of_the_program_fails_its_run_and_names_it(self):
        reports = self.scratch / "reports"
        reports.mkdir()
        with self.assertRaisesRegex(HarnessError, r"record_run\.exe.*crashed.*page fault"):
            self.session.run(self.program("record_run.exe"), ["crash"],
                             {"VCBOOT_TEST_REPORT_DIR": self.windows_path(reports)})
        self.assertIsNotNone(read_report(reports / "record_run.exe.report"))

    def test_each_crash_is_put_down_to_the_process_whose_thread_it_was(self):
        # Process:thread, and the module's path with each backslash doubled.
        line = '{}:trace:loaddll:build_module Loaded L"{}" at {}: builtin\n'
        trace = "".join(line.format(*fields) for fields in [
            ("0030:0034", r"C:\\windows\\system32\\winedevice.exe", "0000000140000000"),
            ("0030:0034", r"C:\\windows\\system32\\kernelbase.dll", "000000007B000000"),
            ("0030:0034", r"C:\\windows\\system32\\ntoskrnl.exe", "000000031CA90000"),
            ("0020:0024", r"C:\\tests\\signed.exe", "0000000140000000"),
            ("0020:0024", r"C:\\windows\\system32\\kernelbase.dll", "000000007B000000")])
        device, ours = r"C:\windows\system32\winedevice.exe", r"C:\tests\signed.exe"
        rows = [("0034", "00000000DEAD0000", [device]),  # threads known by their lines
                ("00f0", "000000031CAA2391", [device]),  # a module only one loaded
                ("00f0", "000000007B001000", [ours, device]),
                ("00f0", "0000000000001000", [])]
        for thread, address, programs in rows:
            with self.subTest(thread=thread, address=address):
                said = f"Unhandled page fault on read access to 00000008 at address {address}"
                crash = f"wine: {said} (thread {thread}), starting debugger...\n"
                self.assertEqual(crashed_programs(trace + crash), [(said, programs)])


class LoaderThatRunsNothing(WineTestCase):
    # wine64 without 32-bit Wine does this with an i386 program: nothing,
    # and exit code 0. The check is the harness's own: it runs once, in the
    # win32 run, where that happens.
    targets = ("win32",)

    def test_a_run_without_the_programs_load_fails(self):
        silent = dataclasses.replace(self.tools, loader="/bin/true", loader32="/bin/true")
        session = WineSession(self.prefix, self.display, silent, self.scratch)
        runs = {
            "with a display": lambda: session.run(self.program("record_run.exe")),
            "console": lambda: WinePrefix(self.prefix.path, silent).run_console_program(
                self.program("record_run.exe"), [], self.scratch),
        }
        for name, run in runs.items():
            with self.subTest(run=name):
                with self.assertRaisesRegex(HarnessError,
                                            r"/bin/true ended \(exit code 0\) without running"):
                    run()


if __name__ == "__main__":
    sys.exit(wine_testing.main(sys.modules[__name__]))
