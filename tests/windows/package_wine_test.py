#!/usr/bin/env python3
"""Whole packages run by the real Windows bootstrap (win64 build) under Wine:
extraction, launching, the single-instance guard and the clean-up."""

import sys

import packages
import wine_testing
from bootstrap_wine_test import BootstrapTestCase
from packages import PackageWriter
from wine_testing import read_report


class PackageTestCase(BootstrapTestCase):
    """Packages whose installer and post program are copies of record_run.exe
    ("Setup.exe" and "post.exe"), reporting into self.reports."""

    def setUp(self):
        super().setUp()
        self.reports = self.scratch / "reports"
        self.reports.mkdir()
        self.environment = {"VCBOOT_TEST_REPORT_DIR": self.windows_path(self.reports)}
        self.recorder = self.program("record_run.exe").read_bytes()

    def package(self, parameters: str = "exit=0") -> PackageWriter:
        """Post program, installer and the values that start it, in the
        order of a shipped package; the caller adds more and the tail."""
        writer = PackageWriter(self.stub.read_bytes())
        writer.add_file("post", "post.exe", self.recorder)
        writer.add_file("installer", "Setup.exe", self.recorder)
        writer.add_value("executable", "%installer%")
        writer.add_value("parameters", parameters)
        return writer

    def run_package(self, writer: PackageWriter, name: str = "package.exe"):
        return self.session.run(writer.write(self.scratch / name), environment=self.environment)

    def report(self, program: str):
        path = self.reports / f"{program}.report"
        return read_report(path) if path.exists() else None

    def assert_no_work_folder_left(self):
        self.assertEqual(self.work_folders(), [])


class DamagedPackages(PackageTestCase):
    def test_a_damaged_chunk_stops_everything(self):
        writer = self.package()
        writer.add_file("", "data.bin", b"0123456789abcdef" * 64)
        writer.add_tail()
        package = self.scratch / "package.exe"
        image = bytearray(writer.data)
        # One byte of the content changed, as a broken download would.
        image[image.rfind(b"0123456789abcdef") + 5] ^= 0x01
        package.write_bytes(bytes(image))

        result = self.session.run(package, environment=self.environment)

        self.assertEqual(result.boxes, [self.invalid_archive_box] * 2)
        self.assertEqual(result.exit_code, 0)
        self.assertIsNone(self.report("Setup.exe"), "the installer ran")
        self.assert_no_work_folder_left()

    def test_a_package_cut_short_before_its_tail(self):
        writer = self.package()  # a download that stopped early

        result = self.run_package(writer)

        if packages.TAIL_MARKER in self.stub.read_bytes():
            self.assert_reported_invalid(result.boxes)
        else:
            self.assertEqual(len(result.boxes), 2, result.boxes)
            caption, text = result.boxes[0]
            self.assertEqual(caption, "Failed to initialize archive!")
            prefix = f"File: {self.windows_path(self.scratch / 'package.exe')}\rError: "
            self.assertTrue(text.startswith(prefix), repr(text))
            self.assertNotIn(text[len(prefix):], ("", "\r\n"))
            self.assertEqual(result.boxes[1], self.invalid_archive_box)
        self.assertEqual(result.exit_code, 0)
        self.assertIsNone(self.report("Setup.exe"), "the installer ran")
        self.assert_no_work_folder_left()


if __name__ == "__main__":
    sys.exit(wine_testing.main(sys.modules[__name__]))
