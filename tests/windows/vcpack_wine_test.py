#!/usr/bin/env python3
"""vcpack.exe (the win64 build) under Wine, held against the Linux vcpack of
the native build: the same inputs give the same package (with its identity
written into its copy of the stub) and the same findings, folders outside
the ANSI code page work, and a refusal leaves no file behind. vcpack.exe runs from the Windows zip's layout, its stubs beside
it, and finds the win64 stub by name there."""

import os
import shutil
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

import wine_testing
from wine_testing import WineTestCase

MANIFEST = """stub = "win64"

[[record]]
file = "payload/Setup.exe"
key = "installer"

[[record]]
file = "payload/readme.txt"

[[record]]
variable = "executable"
value = "%installer%"

[[record]]
variable = "parameters"
value = '/quiet SOURCE="%source%" %commandline%'

[identity]
icon = "payload/product.ico"
version = "3.1"
product-name = "Acme Widget"

[identity.version-info]
LegalCopyright = "© 2026 Acme Ltd"

[texts]
"invalid-archive.caption" = "Broken download"
"""


@dataclass
class Run:
    exit_code: int
    stdout: str
    stderr: str


class VcpackOnWindows(WineTestCase):
    needs_display = False
    # vcpack.exe is an x86-64 program only; the win32 build makes the stub.
    targets = ("win64",)

    def setUp(self):
        super().setUp()
        self.linux_vcpack = wine_testing.setting("VCBOOT_NATIVE_BIN_DIR") / "vcpack"
        # The zip's layout, in a folder whose name the ANSI code page lacks.
        self.tool = self.scratch / "Инструменты" / "vcboot"
        (self.tool / "stubs" / "win64").mkdir(parents=True)
        shutil.copy(self.program("vcpack.exe"), self.tool)
        shutil.copy(self.program("vcboot.exe"), self.tool / "stubs" / "win64")

    def inputs(self, folder: Path) -> Path:
        """The manifest above and its files in `folder`; returns the manifest."""
        (folder / "payload").mkdir(parents=True)
        shutil.copy(self.program("record_run.exe"), folder / "payload" / "Setup.exe")
        (folder / "payload" / "readme.txt").write_text("Read me first.\n")
        shutil.copy(self.source_dir / "examples" / "identity" / "product.ico",
                    folder / "payload")
        (folder / "package.toml").write_text(MANIFEST)
        return folder / "package.toml"

    def windows(self, *arguments: str, cwd: Path) -> Run:
        done = self.prefix.run_console_program(
            self.tool / "vcpack.exe", arguments, cwd,
            {"LC_ALL": "C.UTF-8", "VCBOOT_STUB_DIR": ""})
        # Standard output is in text mode on Windows: its lines end in CR LF.
        return Run(done.returncode, done.stdout.replace("\r\n", "\n"),
                   done.stderr.replace("\r\n", "\n"))

    def linux(self, *arguments: str, cwd: Path) -> Run:
        environment = dict(os.environ, LC_ALL="C.UTF-8",
                           VCBOOT_STUB_DIR=str(self.tool / "stubs"))
        done = subprocess.run([str(self.linux_vcpack), *arguments], cwd=cwd, env=environment,
                              capture_output=True, text=True, timeout=60)
        return Run(done.returncode, done.stdout, done.stderr)

    def test_a_manifest_gives_the_linux_package_byte_for_byte(self):
        folder = self.scratch / "Сборка"
        manifest = self.inputs(folder)
        linux = self.linux("build", "-m", "package.toml", "-o", "linux.exe", cwd=folder)
        self.assertEqual(linux.exit_code, 0, linux)
        output = folder / "setup.exe"
        for attempt in ("new", "replacing"):
            windows = self.windows("build", "-m", self.windows_path(manifest),
                                   "-o", self.windows_path(output), cwd=self.scratch)
            self.assertEqual((windows.exit_code, windows.stderr), (0, ""), attempt)
            self.assertEqual(output.read_bytes(), (folder / "linux.exe").read_bytes(), attempt)
        self.assertEqual(sorted(entry.name for entry in folder.iterdir()),
                         ["linux.exe", "package.toml", "payload", "setup.exe"])

    def test_list_verify_and_extract_find_what_linux_finds(self):
        folder = self.scratch / "Проверка"
        self.inputs(folder)
        self.assertEqual(self.linux("build", "-m", "package.toml", "-o", "setup.exe",
                                    cwd=folder).exit_code, 0)
        image = bytearray((folder / "setup.exe").read_bytes())
        image[image.rfind(b"Read me first.")] ^= 0x01  # a broken download
        (folder / "damaged.exe").write_bytes(bytes(image))

        for package in ("setup.exe", "damaged.exe"):
            for command in (["list", "--json"], ["verify"], ["extract"]):
                with self.subTest(package=package, command=command[0]):
                    arguments = [*command, package] + (["out"] if command == ["extract"] else [])
                    results = []
                    for run in (self.linux, self.windows):
                        shutil.rmtree(folder / "out", ignore_errors=True)
                        (folder / "out").mkdir()
                        result = run(*arguments, cwd=folder)
                        files = {entry.name: entry.read_bytes()
                                 for entry in (folder / "out").iterdir()}
                        results.append((result, files))
                    self.assertEqual(results[1], results[0])
                    self.assertEqual(results[0][0].exit_code, 0 if package == "setup.exe" else 1)

    def test_a_refusal_leaves_no_file_behind(self):
        folder = self.scratch / "Сборка"
        self.inputs(folder)
        (folder / "out").mkdir()
        (folder / "out" / "setup.exe").write_bytes(b"the previous release")
        (folder / "out" / "taken").mkdir()
        cases = [  # a stored name the bootstrap refuses, then outputs refused
            (1, "refuses the file name", ["--stub", "win64", "--file", "payload/readme.txt",
                                          "--as", "..\\readme.txt", "-o", "out\\setup.exe"]),
            (2, "--output out\\taken is a folder", ["-m", "package.toml", "-o", "out\\taken"]),
            (2, "cannot create a temporary file beside",
             ["-m", "package.toml", "-o", "missing\\setup.exe"]),
        ]
        for exit_code, message, arguments in cases:
            with self.subTest(message=message):
                windows = self.windows("build", *arguments, cwd=folder)
                self.assertEqual(windows.exit_code, exit_code, windows)
                self.assertIn(message, windows.stderr)
                self.assertEqual(sorted(entry.name for entry in (folder / "out").iterdir()),
                                 ["setup.exe", "taken"])
                self.assertEqual(list((folder / "out" / "taken").iterdir()), [])
                self.assertEqual((folder / "out" / "setup.exe").read_bytes(),
                                 b"the previous release")
                self.assertFalse((folder / "missing").exists())


if __name__ == "__main__":
    sys.exit(wine_testing.main(sys.modules[__name__]))
