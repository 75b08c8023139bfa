#!/usr/bin/env python3
"""The Wine harness itself: exact command lines, exit codes, time limits."""

import sys
import time

import wine_testing
from wine_harness import HarnessError
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


if __name__ == "__main__":
    sys.exit(wine_testing.main(sys.modules[__name__]))
