#!/usr/bin/env python3
"""Whole packages run by the real Windows bootstrap (win32 and win64 builds)
under Wine:
extraction, launching, the single-instance guard and the clean-up."""

import os
import re
import shutil
import struct
import subprocess
import sys
import time

import packages
import wine_testing
from bootstrap_wine_test import ALREADY_RUNNING_BOX, BootstrapTestCase
from packages import PackageWriter
from pathlib import Path
from wine_testing import read_report

LANGUAGES = ["BG", "CS", "DA", "DE", "EL", "EN", "ES", "FI", "FR", "HU", "IT", "JA",
             "NL", "NO", "PT", "RU", "SV", "ZH"]
FAILED_TO_EXTRACT = "Failed to extract file!"
# Past 2 GiB, where a size or position in a signed 32-bit number turns
# negative, and no multiple of any block size.
LARGE_FILE_SIZE = (1 << 31) + (5 << 20) + 3


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

    def assert_installed(self, result, parameters: str):
        """A run without messages whose installer got `parameters`; the
        installer's report."""
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.exit_code, 0)
        installer = self.report("Setup.exe")
        self.assertIsNotNone(installer, "the installer did not run")
        self.assertEqual(installer.command_line,
                         f'"{installer.working_directory}\\Setup.exe" {parameters}')
        self.assert_no_work_folder_left()
        return installer


class WorkedExample(PackageTestCase):
    # As long as the shipped texts: 71 and 37 bytes.
    MSI_PARAMETERS = 'TARGETDIR="%source%\\apps" LOG="%source%\\install.log" exit=-2 ALLUSERS=1'
    PARAMETERS = '/s /v"%msi_parameters%" /norestart /q'

    def shaped_package(self, logo_size: int) -> PackageWriter:
        writer = PackageWriter(self.stub.read_bytes(), "Quorvel.exe")
        writer.add_file("post", "post.exe", self.recorder)
        writer.add_file("installer", "Setup.exe", self.recorder)
        for language in LANGUAGES:
            writer.add_file("", f"{language}5.ini", f"[{language}]\r\n".encode() * 4000)
        writer.add_file("", "LogoSmall.bmp", b"BM" + b"\x5a" * (logo_size - 2))
        writer.add_value("executable", "%installer%")
        writer.add_value("parameters", self.PARAMETERS)
        writer.add_value("msi_parameters", self.MSI_PARAMETERS)
        writer.add_tail()
        return writer

    def test_signed_package_installs_and_hands_the_exit_code_on(self):
        # The signer pads to 8 bytes: a logo size that leaves the stream 3
        # bytes past a multiple of 8 gives the shipped 5 zero bytes.
        unpadded = len(self.shaped_package(3256).data)
        package = self.shaped_package(3256 + (3 - unpadded) % 8)
        self.assertEqual(len(package.data) % 8, 3)
        unsigned = package.write(self.scratch / "unsigned.exe")
        signed = self.scratch / "Quorvel.exe"
        packages.sign(unsigned, signed, self.scratch)
        image = signed.read_bytes()
        table_offset, table_size = packages.certificate_table(image)
        self.assertEqual(image[len(package.data):table_offset], b"\0" * 5)
        self.assertEqual(table_offset + table_size, len(image))

        result = self.session.run(signed, environment=self.environment)

        self.assertEqual(result.boxes, [])
        self.assertEqual(result.exit_code, 0)
        installer = self.report("Setup.exe")
        self.assertIsNotNone(installer, "the installer did not run")
        work_folder = installer.working_directory
        self.assertRegex(work_folder,
                         "^" + re.escape(self.windows_path(self.temp_dir) + "\\") + r"VC-?\d+$")
        msi_parameters = self.MSI_PARAMETERS.replace("%source%", work_folder)
        parameters = self.PARAMETERS.replace("%msi_parameters%", msi_parameters)
        self.assertEqual(installer.command_line, f'"{work_folder}\\Setup.exe" {parameters}')
        expected_files = sorted(["post.exe", "Setup.exe", "LogoSmall.bmp"]
                                + [f"{language}5.ini" for language in LANGUAGES])
        self.assertEqual(installer.files, expected_files)

        post = self.report("post.exe")
        self.assertIsNotNone(post, "the post program did not run")
        self.assertEqual(post.command_line, f'"{work_folder}\\post.exe" -2')
        self.assertEqual(post.working_directory, work_folder)
        self.assert_no_work_folder_left()


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


    def test_a_suite_cut_short_behind_a_package_it_carries_starts_nothing(self):
        carried = self.package(parameters="exit=0 carried")
        carried.add_tail()
        suite = self.package(parameters="exit=0 suite")
        suite.add_file("", "prerequisite.exe", bytes(carried.data))
        whole = bytes(suite.data)
        # The download stops right behind the carried package, whose tail
        # chunk is then the one nearest the end.
        package = self.scratch / "package.exe"
        package.write_bytes(whole[:whole.rfind(bytes(carried.data)) + len(carried.data)])

        result = self.session.run(package, environment=self.environment)

        self.assertEqual(result.boxes, [self.invalid_archive_box] * 2)
        self.assertEqual(result.exit_code, 0)
        self.assertIsNone(self.report("Setup.exe"), "an installer ran")
        self.assert_no_work_folder_left()


class Unattended(PackageTestCase):
    """Runs that nobody watches: no box waits for an answer, a support log
    says what happened, and the exit code says it to the deployment tool."""

    def damaged_package(self):
        """A package whose last file's content fails its digest, after its
        "exitcode" record; and the byte offset where that chunk ends."""
        writer = self.package()
        writer.add_file("", "data.bin", b"0123456789abcdef" * 64)
        writer.add_value("exitcode", "installer")
        writer.add_tail()
        image = bytearray(writer.data)
        last_block = image.rfind(b"0123456789abcdef")
        image[last_block + 5] ^= 0x01
        package = self.scratch / "package.exe"
        package.write_bytes(bytes(image))
        return package, last_block + 16 + 20  # the payload, then its trailer

    def log_text(self, log):
        return log.read_bytes().decode("utf-8") if log.exists() else ""

    def test_a_damaged_package_without_boxes_ends_on_its_own_with_a_log(self):
        package, chunk_end = self.damaged_package()
        log = self.scratch / "setup.log"
        # The administrator asks for no box; nobody can see one (a test program
        # starts the package on a window station of its own that is not visible).
        for extra, reason in (
                ({"VCBOOT_UI": "none"}, "VCBOOT_UI=none"),
                ({"VCBOOT_TEST_HIDDEN_STATION": "1"},
                 "nobody can see it: the window station is not visible")):
            with self.subTest(reason=reason):
                log.unlink(missing_ok=True)
                environment = dict(self.environment, VCBOOT_LOG=self.windows_path(log),
                                   **extra)

                result = self.session.run_command_line(
                    f'"{self.windows_path(package)}" /S', environment)

                self.assertEqual(result.boxes, [])
                self.assertIn("launch_command_line: exit code 1603\n", result.trace)
                self.assertIsNone(self.report("Setup.exe"), "the installer ran")
                self.assert_no_work_folder_left()
                text = self.log_text(log)
                self.assertIn(f"Message boxes: none ({reason})", text)
                self.assertIn(f"Damaged chunk: the chunk that ends at byte offset "
                              f"{chunk_end}, with 1024 bytes of payload: its MD5 digest "
                              "does not match its payload\r\n", text)
                self.assertIn('Removed file "data.bin"', text)
                self.assertEqual(
                    text.count(f"Message not shown ({reason}): Invalid Archive!"), 2, text)
                self.assertIn("Exit code 1603 (0x00000643): the archive cannot be opened, "
                              "or is damaged or incomplete; the package asks for the "
                              "installer's exit code\r\n", text)

        # Someone at the desk sees today's two boxes.
        result = self.session.run(package, environment=self.environment)
        self.assertEqual(result.boxes, [self.invalid_archive_box] * 2)
        self.assertEqual(result.exit_code, 1603 % 256)
        self.assert_no_work_folder_left()

    def test_the_log_survives_a_run_killed_while_its_installer_runs(self):
        writer = self.package(parameters="exit=0 /S")
        writer.add_tail()
        package = writer.write(self.scratch / "package.exe")
        log = self.scratch / "setup.log"
        hold = self.reports / "Setup.exe.hold"
        hold.touch()
        run = self.session.start(package, environment=dict(
            self.environment, VCBOOT_LOG=self.windows_path(log)))
        run.wait_until(lambda: "Installer: started, process " in self.log_text(log),
                       "the installer's start in the log")

        run.kill()
        hold.unlink()

        text = self.log_text(log)
        self.assertRegex(text, r'Installer: starting "[^"]*\\Setup\.exe" exit=0 /S '
                               r"\(in the work folder\)\r\n")
        self.assertIn('Record: file "Setup.exe" (key "installer"), '
                      f"{len(self.recorder)} bytes written\r\n", text)
        self.assertNotIn("Exit code", text)
        self.assertTrue(text.endswith("\r\n"), text[-200:])

    def test_a_log_that_another_user_made_is_left_alone(self):
        # Wine gives a file of another Unix user a SID of its own.
        writer = self.package()
        writer.add_tail()
        package = writer.write(self.scratch / "package.exe")
        planted = self.scratch / "setup.log"
        planted.write_bytes(b"planted\n")
        os.chown(planted, 65534, 65534)
        before = set(self.temp_dir.glob("vcboot-*.log"))

        result = self.session.run(package, environment=dict(
            self.environment, VCBOOT_LOG=self.windows_path(planted)))

        self.assert_installed(result, "exit=0")
        self.assertEqual(planted.read_bytes(), b"planted\n")
        fallback = list(set(self.temp_dir.glob("vcboot-*.log")) - before)
        self.assertEqual(len(fallback), 1, fallback)
        self.addCleanup(fallback[0].unlink)
        self.assertIn(f'Could not open the log "{self.windows_path(planted)}" (error 5 ',
                      self.log_text(fallback[0]))


class Launching(PackageTestCase):
    def test_installer_missing_gives_spawn_failure_then_cleans_up(self):
        writer = PackageWriter(self.stub.read_bytes())
        writer.add_file("post", "post.exe", self.recorder)
        writer.add_value("executable", "missing.exe")
        writer.add_tail()

        result = self.run_package(writer)

        # The shell shows its own message first (Wine: "File not found."),
        # as Windows does.
        self.assertIn(len(result.boxes), (1, 2), result.boxes)
        self.assertEqual(result.boxes[-1], ("ShellExecuteEx failed", "Unable to spawn process"))
        self.assertEqual(result.exit_code, 0)
        self.assertIsNone(self.report("post.exe"), "the post program ran")
        self.assert_no_work_folder_left()

    def test_an_expansion_past_its_bound_ends_in_the_top_level_handler(self):
        # 21 levels of doubling make 2 MiB, past the 1 MiB bound: the
        # exception travels through the stub's own unwinding to the handler,
        # which shows its description as the caption and removes the folder.
        writer = PackageWriter(self.stub.read_bytes())
        writer.add_file("installer", "setup.exe", self.recorder)
        writer.add_value("executable", "%installer%")
        writer.add_value("parameters", "%v21%")
        for level in range(21, 0, -1):
            writer.add_value(f"v{level}", f"%v{level - 1}%%v{level - 1}%")
        writer.add_value("v0", "x")
        writer.add_value("exitcode", "installer")
        writer.add_tail()

        result = self.run_package(writer)

        self.assertEqual(result.boxes, [("variable expansion too long", "Unhandled Exception")])
        self.assertEqual(result.exit_code, 1603 & 0xFF)  # Wine passes on 8 bits
        self.assertIsNone(self.report("setup.exe"), "the installer ran")
        self.assert_no_work_folder_left()

    def test_command_line_after_the_program_name_reaches_the_installer(self):
        writer = self.package(parameters="exit=0 [%commandline%]")
        writer.add_tail()
        folder = self.scratch / "dir with blank"
        folder.mkdir()
        package = writer.write(folder / "package.exe")

        result = self.session.run_command_line(
            f'"{self.windows_path(package)}"  a b', self.environment)

        self.assert_installed(result, "exit=0 [a b]")

    def test_the_installers_3010_comes_back_through_the_launch_helper(self):
        writer = self.package(parameters="exit=3010")
        writer.add_value("exitcode", "installer")
        writer.add_tail()
        package = writer.write(self.scratch / "package.exe")

        # wine64 keeps 8 bits of an exit code; the launch helper tells all of it.
        result = self.session.run_command_line(f'"{self.windows_path(package)}"',
                                               self.environment)

        self.assertEqual(result.boxes, [])
        self.assertIsNotNone(self.report("Setup.exe"), "the installer did not run")
        self.assertIn("launch_command_line: exit code 3010\n", result.trace)
        self.assert_no_work_folder_left()

    def test_second_instance_while_the_first_waits_for_its_installer(self):
        writer = self.package()
        writer.add_tail()
        package = writer.write(self.scratch / "package.exe")
        hold = self.reports / "Setup.exe.hold"
        hold.touch()
        first = self.session.start(package, environment=self.environment)
        first.wait_until(lambda: self.report("Setup.exe") is not None, "the installer's start")
        folders_of_first = self.work_folders()
        self.assertEqual(len(folders_of_first), 1)
        time.sleep(1.05 - time.time() % 1)  # a new second, a new folder name

        second = self.session.run(package, environment=self.environment)
        self.assertEqual(second.boxes, [ALREADY_RUNNING_BOX])
        self.assertEqual(second.exit_code, 1)
        self.assertEqual(self.work_folders(), folders_of_first)

        hold.unlink()
        first_result = first.finish()
        self.assertEqual(first_result.boxes, [])
        self.assertEqual(first_result.exit_code, 0)
        self.assert_no_work_folder_left()


class BlockedFiles(PackageTestCase):
    """Files of several blocks, packed by the native vcpack, installed while
    the installer holds the work folder so that each can be compared."""

    def assert_installs_whole(self, size: int, random: bool = False):
        big = self.scratch / "big.bin"
        with open(big, "wb") as out:
            if random:
                out.write(os.urandom(size))
            else:
                out.truncate(size)  # zeros, sparse
        installer = self.scratch / "Setup.exe"
        shutil.copyfile(self.program("record_run.exe"), installer)
        package = self.scratch / "package.exe"
        self.addCleanup(package.unlink, missing_ok=True)
        vcpack = wine_testing.setting("VCBOOT_NATIVE_BIN_DIR") / "vcpack"
        subprocess.run([vcpack, "build", "--stub", self.stub, "--file",
                        f"installer={installer}", "--file", big, "--value",
                        "executable=%installer%", "--value", "parameters=exit=0",
                        "-o", package], check=True, stdout=subprocess.DEVNULL)
        hold = self.reports / "Setup.exe.hold"
        hold.touch()
        run = self.session.start(package, environment=self.environment)
        run.wait_until(lambda: self.report("Setup.exe") is not None,
                       "the installer's start", seconds=300)
        [folder] = self.work_folders()
        extracted = self.temp_dir / folder / "big.bin"
        self.assertEqual(extracted.stat().st_size, size)
        self.assertEqual(subprocess.run(["cmp", "-s", extracted, big]).returncode, 0,
                         "the extracted file differs from the packed one")
        hold.unlink()
        result = run.finish(seconds=300)
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.exit_code, 0)
        self.assert_no_work_folder_left()


class SeveralBlocks(BlockedFiles):
    def test_a_file_of_several_blocks_installs_whole(self):
        # Random bytes: blocks out of order or hashed twice would show.
        self.assert_installs_whole((3 << 20) + 5, random=True)


class LargeFiles(BlockedFiles):
    """Files over 2 GiB: up to 9 GiB of disk, so listed only where
    VCBOOT_LARGE_TESTS is set, as scripts/bench --large does."""

    opt_in = "VCBOOT_LARGE_TESTS"

    def test_a_file_over_2_gib_installs_whole(self):
        self.assert_installs_whole(LARGE_FILE_SIZE)

    def test_a_package_over_4_gib_installs_whole(self):
        # The largest file a package holds: every position near the package's
        # end needs the high part of a move.
        self.assert_installs_whole((1 << 32) - 1)


class OwnIdentity(PackageTestCase):
    """A package with its own icon, version resource, German texts and
    download address, made by the native vcpack on this build's stub and
    checked from outside: by Windows' own calls, wrestool and osslsigncode."""

    CAPTION = "Ungültiges Archiv!"
    TEXT = ("Der Download ist unvollständig.\r\nBitte laden Sie Acme Widget erneut "
            "herunter: https://acme.example/download/")
    VERSION_TEXTS = ["ProductName=Acme Widget", "CompanyName=Acme Ltd",
                     "FileDescription=Acme Widget Setup", "LegalCopyright=© 2026 Acme Ltd"]

    def setUp(self):
        super().setUp()
        # An English locale, whose ANSI code page (1252) holds the German texts.
        self.environment["LC_ALL"] = "C.UTF-8"
        self.icon = self.source_dir / "examples" / "identity" / "product.ico"

    def build(self, *options: str) -> Path:
        (self.scratch / "Setup.exe").write_bytes(self.recorder)
        vcpack = wine_testing.setting("VCBOOT_NATIVE_BIN_DIR") / "vcpack"
        done = subprocess.run(
            [str(vcpack), "build", "--stub", str(self.stub), "--file", "installer=Setup.exe",
             "--value", "executable=%installer%", "--value", "parameters=exit=0", *options,
             "-o", "identity.exe"],
            cwd=self.scratch, capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        return self.scratch / "identity.exe"

    def identity(self, *more: str) -> Path:
        options = [*more, "--icon", str(self.icon), "--version", "2.5.0.7",
                   "--text", f"invalid-archive.caption={self.CAPTION}",
                   "--text", f"invalid-archive.text={self.TEXT.replace(chr(13) + chr(10), ' ')}",
                   "--download-address", "https://acme.example/download/",
                   "--encoding", "CP1252", "--exit-code", "installer"]
        for text in self.VERSION_TEXTS:
            options += ["--version-info", text]
        return self.build(*options)

    def test_windows_reads_the_version_and_the_icon_it_was_given(self):
        package = self.identity()

        done = self.prefix.run_console_program(
            self.program("version_info.exe"), [self.windows_path(package)], self.scratch)

        self.assertEqual(done.stdout.splitlines(),
                         ["file 2.5.0.7", "product 2.5.0.7", *self.VERSION_TEXTS,
                          "ProductVersion=2.5.0.7", "FileVersion=2.5.0.7"], done.stderr)
        extracted = subprocess.run(["wrestool", "-x", "-t14", str(package)],
                                   capture_output=True, timeout=60, check=True).stdout
        self.assertEqual(packages.icon_images(extracted),
                         packages.icon_images(self.icon.read_bytes()))
        image = package.read_bytes()[:packages.pe_image_end(package.read_bytes())]
        self.assertEqual(packages.stored_checksum(image), packages.pe_checksum(image))

    def test_a_download_cut_short_tells_the_packages_own_text_and_returns_1603(self):
        log = self.scratch / "setup.log"
        german = (self.CAPTION, self.TEXT.replace("\r\n", " "))
        # Someone at the desk reads the package's own text; a package built
        # for deployment shows no box and logs what the box would have said.
        for name, options, boxes, logged in (
                ("own texts", (), [german] * 2, 0),
                ("deployment", ("--ui", "none", "--log", self.windows_path(log)), [], 2)):
            with self.subTest(package=name):
                cut = self.scratch / "cut.exe"
                cut.write_bytes(self.identity(*options).read_bytes()[:-10])

                result = self.session.run(cut, environment=self.environment)

                self.assertEqual(result.boxes, boxes)
                self.assertEqual(result.exit_code, 1603 & 0xFF)
                self.assertIsNone(self.report("Setup.exe"), "the installer ran")
                self.assert_no_work_folder_left()
                text = log.read_bytes().decode("utf-8") if log.exists() else ""
                self.assertEqual(text.count("Message not shown (the package's setting "
                                            f"ui=none): {self.CAPTION}"), logged, text)

    def test_signed_it_still_verifies_and_runs(self):
        signed = self.scratch / "signed.exe"
        packages.sign(self.identity(), signed, self.scratch)
        packages.verify_signature(signed, self.scratch)

        self.assert_installed(self.session.run(signed, environment=self.environment), "exit=0")

    def test_without_options_the_package_carries_the_stub_as_it_is(self):
        stub = self.stub.read_bytes()
        self.assertEqual(self.build().read_bytes()[:len(stub)], stub)


class PlantedWorkFolders(PackageTestCase):
    def test_folders_under_the_coming_names_are_not_taken_over(self):
        writer = self.package()
        writer.add_tail()
        # Someone else's folders under every name the run could take now.
        now = int(time.time())
        planted = [self.temp_dir / f"VC{number}" for number in range(now - 2, now + 30)]
        for folder in planted:
            folder.mkdir()
            (folder / "planted.txt").write_bytes(b"someone else's")
            self.addCleanup(shutil.rmtree, folder, True)

        result = self.run_package(writer)

        self.assertEqual((result.boxes, result.exit_code), ([], 0))
        installer = self.report("Setup.exe")
        self.assertIsNotNone(installer, "the installer did not run")
        self.assertEqual(installer.files, ["Setup.exe", "post.exe"])
        for folder in planted:
            self.assertEqual([(entry.name, entry.read_bytes()) for entry in folder.iterdir()],
                             [("planted.txt", b"someone else's")])
        self.assertEqual(self.work_folders(), sorted(folder.name for folder in planted))


class UntrustedContent(PackageTestCase):
    def test_records_planted_in_the_certificate_table_are_ignored(self):
        genuine = self.package(parameters="exit=0 genuine")
        genuine.add_tail()
        signed = self.scratch / "signed.exe"
        packages.sign(genuine.write(self.scratch / "unsigned.exe"), signed, self.scratch)
        # A forged stream that a reader trusting the table would take whole:
        # it ends at a stub record and binds "parameters" first.
        forged = PackageWriter(None)
        forged.add_record(b"stub", [b"stub"])
        forged.add_file("", "forged.txt", b"planted")
        forged.add_value("parameters", "exit=0 forged")
        forged.add_tail()
        package = self.scratch / "package.exe"
        package.write_bytes(packages.plant_in_certificate_table(signed.read_bytes(),
                                                                bytes(forged.data)))
        packages.verify_signature(package, self.scratch)

        result = self.session.run(package, environment=self.environment)

        installer = self.assert_installed(result, "exit=0 genuine")
        self.assertNotIn("forged.txt", installer.files)

    def test_names_that_reach_another_file_are_refused_and_nothing_starts(self):
        # Each record lies nearer the start than the installer, so it would be
        # written after it: outside the work folder, over the installer under
        # another spelling of its name, or to a device.
        for name in ("..\\evil.txt", "Setup.exe.", "Setup.exe ", ".\\Setup.exe", "COM1\0"):
            with self.subTest(name=name):
                writer = PackageWriter(self.stub.read_bytes())
                writer.add_file("", name, b"replaced")
                writer.add_file("installer", "Setup.exe", self.recorder)
                writer.add_value("executable", "%installer%")
                writer.add_value("parameters", "exit=0")
                writer.add_tail()

                result = self.run_package(writer)

                self.assertEqual(len(result.boxes), 1, result.boxes)
                caption, text = result.boxes[0]
                self.assertEqual(caption, FAILED_TO_EXTRACT)
                # MessageBoxA ends the text at a zero byte in the name.
                shown, zero, _ = name.partition("\0")
                path = re.escape(self.windows_path(self.temp_dir)) + r"\\VC-?\d+\\" + re.escape(shown)
                self.assertRegex(text, "^File: " + path + ("$" if zero else "\rError: .+$"))
                self.assertEqual(result.exit_code, 0)
                self.assertIsNone(self.report("Setup.exe"), "the installer ran")
                self.assertEqual(list(self.temp_dir.rglob("evil.txt")), [])
                self.assert_no_work_folder_left()


class PathsBeyondTheAnsiCalls(PackageTestCase):
    """Folders whose names the ANSI code page cannot hold, and paths too long
    for the ANSI calls: the bootstrap takes their short (8.3) forms."""

    def setUp(self):
        super().setUp()
        # An English locale, whose ANSI code page (1252) has no Cyrillic.
        self.environment["LC_ALL"] = "C.UTF-8"

    def use_temp_directory(self, folder):
        """Points TEMP and TMP of the Windows user at `folder` for this case.
        The prefix is shared by every case, so the old values come back."""
        folder.mkdir(parents=True, exist_ok=True)
        for name in ("TEMP", "TMP"):
            self.addCleanup(self.prefix.set_user_variable, name,
                            self.prefix.user_variable(name))
            self.prefix.set_user_variable(name, ("REG_SZ", self.windows_path(folder)))

    def test_a_temporary_directory_goes_by_its_short_name_outside_the_code_page(self):
        for name, short in (("Пример", True), ("Temporary Files", False)):
            with self.subTest(temp=name):
                for report in self.reports.iterdir():
                    report.unlink()
                temp = self.scratch / name  # each has a short name that differs
                self.use_temp_directory(temp)
                writer = self.package(parameters="exit=0 %source%")
                writer.add_tail()
                hold = self.reports / "Setup.exe.hold"
                hold.touch()
                run = self.session.start(writer.write(self.scratch / "package.exe"),
                                         environment=self.environment)
                run.wait_until(lambda: self.report("Setup.exe") is not None,
                               "the installer's start")

                # The work folder is made in `temp`, which "source" names by
                # an ASCII short name only when it must.
                work_folder = self.report("Setup.exe").working_directory
                folder, _, work_name = work_folder.rpartition("\\")
                self.assertEqual([entry.name for entry in temp.iterdir()], [work_name])
                self.assertRegex(work_name, r"^VC-?\d+$")
                if short:
                    self.assertRegex(folder, r"^C:(\\[!-~]{1,8}(\.[!-~]{1,3})?)+$")
                    self.assertIn("~", folder.rsplit("\\", 1)[1])
                else:
                    self.assertEqual(folder, self.windows_path(temp))
                hold.unlink()
                self.assert_installed(run.finish(), "exit=0 " + work_folder)
                self.assertEqual(list(temp.iterdir()), [])

    def test_a_work_folder_under_c_temp_is_the_users_own(self):
        # C:\Temp\, the fallback when there is no TEMP, takes the rights of
        # C:\, where every user may make and change files: a work folder
        # there, whether TEMP names it or the fallback, gets rights of its
        # own, which nothing of the folder above reaches.
        fallback = self.prefix.drive_c / "Temp"
        if not fallback.exists():
            self.addCleanup(shutil.rmtree, fallback, True)
        self.use_temp_directory(fallback)
        writer = self.package()
        writer.add_tail()

        installer = self.assert_installed(self.run_package(writer), "exit=0")

        self.assertRegex(installer.working_directory, r"^C:\\Temp\\VC-?\d+$")
        # Only the user, SYSTEM and the Administrators get in (Wine shows
        # rights made from the folder's Unix mode, without the protection).
        trustees = [ace.rsplit(";", 1)[1]
                    for ace in re.findall(r"\(([^)]*)\)", installer.folder_rights)]
        self.assertIn("SY", trustees, installer.folder_rights)
        self.assertEqual([trustee for trustee in trustees if trustee not in ("SY", "BA")
                          and not trustee.startswith("S-1-5-21-")], [],
                         installer.folder_rights)
        self.assertEqual(sorted(fallback.glob("VC*")), [])

    def test_packages_in_folders_the_ansi_calls_cannot_name(self):
        deep = self.scratch.joinpath(*(f"Downloads kept for later, level {level} "
                                       + "of a deep folder tree " * 4 for level in range(3)))
        too_deep = self.scratch.joinpath(*(f"Downloads kept for later, level {level}"
                                           for level in range(30)))
        self.assertGreaterEqual(len(self.windows_path(deep)), 300)
        for folder in (self.scratch / "Загрузки", deep, too_deep):
            with self.subTest(folder=f"{folder.name[:20]}, {len(str(folder))} characters"):
                for report in self.reports.iterdir():
                    report.unlink()
                folder.mkdir(parents=True)
                writer = self.package()
                writer.add_tail()
                package = writer.write(folder / "setup.exe")

                result = self.session.run(package, environment=self.environment)

                if folder != too_deep:
                    self.assert_installed(result, "exit=0")
                    continue
                # No form of its path suits the ANSI calls: the reason is told,
                # not that of an attempt to open no file at all.
                self.assertEqual(len(result.boxes), 2, result.boxes)
                caption, text = result.boxes[0]
                self.assertEqual(caption, "Failed to open archive!")
                self.assertTrue(text.startswith("File: \rError: "), repr(text))
                self.assertIn("too long", text.lower())
                self.assertEqual(result.boxes[1], self.invalid_archive_box)
                self.assertEqual(result.exit_code, 0)
                self.assertIsNone(self.report("Setup.exe"), "the installer ran")
                self.assert_no_work_folder_left()


if __name__ == "__main__":
    sys.exit(wine_testing.main(sys.modules[__name__]))
