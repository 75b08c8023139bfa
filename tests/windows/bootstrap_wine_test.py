#!/usr/bin/env python3
"""The real Windows bootstrap (the win32 and the win64 build) run end to end
under Wine."""

import sys
import time

import wine_testing
from wine_testing import WineTestCase, c_string_constant

INVALID_ARCHIVE_CAPTION = "Invalid Archive!"
ALREADY_RUNNING_BOX = (
    "Already Running",
    "Another installation is already running or in the process of starting up.\n"
    "Please wait until the other installation has completed before trying again.")


class BootstrapTestCase(WineTestCase):
    def setUp(self):
        super().setUp()
        self.stub = self.program("vcboot.exe")
        # The download address at its end is the product's choice: the text
        # is compared with the program's own source, byte for byte.
        self.invalid_archive_box = (
            INVALID_ARCHIVE_CAPTION,
            c_string_constant(self.source_dir / "util" / "messages.h", "kInvalidArchiveText"))

    def assert_reported_invalid(self, boxes):
        """An archive without a tail: the stub's image holds the tail marker
        text as a constant, and the backward scan stops there. What it then
        reads as the tail chunk either fails its digest ("Invalid Archive!"
        from the reader, then from the run) or cannot be read (the run's
        message alone), depending on the bytes behind the constant."""
        self.assertIn(boxes, ([self.invalid_archive_box], [self.invalid_archive_box] * 2))


class BareStub(BootstrapTestCase):
    def test_reports_an_invalid_archive_and_leaves_no_work_folder(self):
        result = self.session.run(self.stub)
        self.assert_reported_invalid(result.boxes)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(self.work_folders(), [])


class SecondInstance(BootstrapTestCase):
    def test_gives_up_while_the_first_shows_its_message(self):
        first = self.session.start(self.stub)
        first.wait_for_box(INVALID_ARCHIVE_CAPTION)
        folders_of_first = self.work_folders()
        self.assertEqual(len(folders_of_first), 1)
        # A second run in the same second would name the same folder; a new
        # second makes a folder that it wrongly made show up as a new name.
        time.sleep(1.05 - time.time() % 1)

        second = self.session.run(self.stub)
        self.assertEqual(second.boxes, [ALREADY_RUNNING_BOX])
        self.assertEqual(second.exit_code, 1)
        self.assertEqual(self.work_folders(), folders_of_first)

        first_result = first.finish()
        self.assert_reported_invalid(first_result.boxes)
        self.assertEqual(first_result.exit_code, 0)
        self.assertEqual(self.work_folders(), [])


class WindowsFormatter(WineTestCase):
    def test_format_string_gives_whole_texts_on_msvcrt(self):
        result = self.session.run(self.program("format_check.exe"))
        self.assertEqual(result.exit_code, 0, result.trace)
        self.assertEqual(result.boxes, [])


if __name__ == "__main__":
    sys.exit(wine_testing.main(sys.modules[__name__]))
