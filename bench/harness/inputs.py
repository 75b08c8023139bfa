"""The inputs of the whole-process benchmarks: random payloads, so that
nothing compresses, and the same files packed by every contender."""

import os
import shutil
import subprocess
from typing import List, Sequence, Tuple

MIB = 1 << 20

# A package shaped like a shipped one: 26 records in all, with the stub, the
# three values and the tail. The installer and the post program are the quick
# installer padded with random bytes to the sizes of real ones.
SAMPLE_PROGRAMS = [("post", "post.exe", 479232),
                   ("installer", "Setup.exe", 446352)]
SAMPLE_LANGUAGE_FILES = [
    ("BG5.ini", 39632), ("CS5.ini", 29849), ("DA5.ini", 43760),
    ("DE5.ini", 31569), ("EL5.ini", 30854), ("EN5.ini", 35091),
    ("ES5.ini", 36685), ("FI5.ini", 28206), ("FR5.ini", 43228),
    ("HU5.ini", 33039), ("IT5.ini", 35238), ("JA5.ini", 37908),
    ("NL5.ini", 53026), ("NO5.ini", 30670), ("PT5.ini", 38403),
    ("RU5.ini", 33085), ("SV5.ini", 29214), ("ZH5.ini", 40492),
    ("LogoSmall.bmp", 3256)]
SAMPLE_VALUES = [
    ("executable", "%installer%"),
    ("parameters", "/passive %msi_parameters% REBOOT=None"),
    ("msi_parameters", 'SOURCEDIR="%source%" TRANSFORMS=":1033.mst" '
                       "ALLUSERS=1 INSTALLLEVEL=100")]

# A record of a vcboot package: ("file", key, path) or ("value", name, text).
Record = Tuple[str, str, str]


def write_random(path: str, size: int) -> None:
    with open(path, "wb") as out:
        for start in range(0, size, MIB):
            out.write(os.urandom(min(MIB, size - start)))


def write_padded_program(program: str, path: str, size: int) -> None:
    """The program followed by random bytes up to `size`: it still runs."""
    shutil.copyfile(program, path)
    padding = size - os.path.getsize(path)
    if padding < 0:
        raise ValueError(f"{program} is larger than {size} bytes")
    with open(path, "ab") as out:
        out.write(os.urandom(padding))
    os.chmod(path, 0o755)


def fresh_folder(path: str) -> str:
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def extraction_files(folder: str, installer: str, count: int,
                     size: int) -> List[str]:
    """`count` random files of `size` bytes and the installer, in `folder`."""
    fresh_folder(folder)
    paths = []
    for index in range(1, count + 1):
        path = os.path.join(folder, f"data{index:02}.bin")
        write_random(path, size)
        paths.append(path)
    installer_copy = os.path.join(folder, "installer")
    shutil.copyfile(installer, installer_copy)
    os.chmod(installer_copy, 0o755)
    return [installer_copy] + paths


def extraction_records(files: Sequence[str]) -> List[Record]:
    installer, payload = files[0], files[1:]
    return ([("file", "installer", installer)] +
            [("file", "", path) for path in payload] +
            [("value", "executable", "%installer%")])


def sample_files(folder: str, installer: str) -> List[Record]:
    """The shipped-like files in `folder`, and the package's records."""
    fresh_folder(folder)
    records = []
    for key, name, size in SAMPLE_PROGRAMS:
        path = os.path.join(folder, name)
        write_padded_program(installer, path, size)
        records.append(("file", key, path))
    for name, size in SAMPLE_LANGUAGE_FILES:
        path = os.path.join(folder, name)
        write_random(path, size)
        records.append(("file", "", path))
    records += [("value", name, text) for name, text in SAMPLE_VALUES]
    return records


def pack_vcboot(vcpack: str, stub: str, records: Sequence[Record],
                output: str) -> None:
    argv = [vcpack, "build", "--stub", stub, "-o", output]
    for kind, name, text in records:
        if kind == "file":
            argv += ["--file", f"{name}={text}" if name else text]
        else:
            argv += ["--value", f"{name}={text}"]
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)


def pack_makeself(folder: str, output: str, startup: str,
                  checks: Sequence[str]) -> None:
    """No compression; `checks` are makeself options such as --nocrc."""
    subprocess.run(["makeself", "--nocomp", "--nox11", "--quiet", *checks,
                    folder, output, "vcboot benchmark", startup],
                   check=True, stdout=subprocess.DEVNULL)


def pack_7zip(files: Sequence[str], sfx_module: str, output: str) -> None:
    """A 7z archive stored without compression behind the console SFX."""
    if os.path.exists(output):
        os.remove(output)
    subprocess.run(["7z", "a", "-mx0", "-bd", "-y", f"-sfx{sfx_module}",
                    output, *files], check=True, stdout=subprocess.DEVNULL)
    os.chmod(output, 0o755)
