"""Installation packages for the Wine tests, written byte by byte.

A package is the bootstrap's image followed by a chunk stream: each chunk is
its payload, the payload's length (unsigned 32-bit, little-endian) and the
payload's MD5 digest; a record is a run of chunks ending in its type chunk.
Written here independently of the program's own writer, so that a fault in
the shared format code cannot hide itself, and free to write what no honest
writer would: damaged digests, missing tails, unsafe names, forged records.
Also signs packages with osslsigncode and edits their certificate table.
"""

from __future__ import annotations

import hashlib
import shutil
import struct
import subprocess
from pathlib import Path

TAIL_MARKER = b"chunked-installer-tail"


def chunk(payload: bytes, digest: bytes | None = None) -> bytes:
    """One chunk; `digest` replaces the payload's own (a damaged chunk)."""
    stored = hashlib.md5(payload).digest() if digest is None else digest
    return payload + struct.pack("<I", len(payload)) + stored


class PackageWriter:
    """Writes a package forwards: stub record first, tail chunk last. With
    no stub image it writes a bare chunk stream (to plant somewhere)."""

    def __init__(self, stub_image: bytes | None, stub_name: str = "vcboot.exe"):
        self.data = bytearray()
        if stub_image is not None:
            self.add_record(b"stub", [stub_image, stub_name.encode(), b"stub"])

    def add_record(self, record_type: bytes, chunks: list[bytes]) -> None:
        for payload in chunks:
            self.data += chunk(payload)
        self.data += chunk(record_type)

    def add_file(self, key: str, name: str, content: bytes) -> None:
        self.add_record(b"file", [content, name.encode("latin-1"), key.encode()])

    def add_value(self, name: str, value: str) -> None:
        self.add_record(b"value", [value.encode("latin-1"), name.encode()])

    def add_tail(self) -> None:
        self.data += chunk(TAIL_MARKER)

    def write(self, path: Path) -> Path:
        path.write_bytes(bytes(self.data))
        return path


# --- Authenticode certificate table (PE security data directory)

def _security_directory_offset(image: bytes) -> int:
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    optional_header = pe + 24
    magic = struct.unpack_from("<H", image, optional_header)[0]
    directories = optional_header + {0x10B: 96, 0x20B: 112}[magic]
    return directories + 4 * 8


def certificate_table(image: bytes) -> tuple[int, int]:
    """(file offset, size) of the certificate table; (0, 0) when unsigned."""
    return struct.unpack_from("<II", image, _security_directory_offset(image))


def plant_in_certificate_table(image: bytes, planted: bytes) -> bytes:
    """Grows the certificate table that ends `image` by `planted` (padded to
    8 bytes), as the table's own length fields say. The signature does not
    cover the table, so it still holds for the result."""
    offset, size = certificate_table(image)
    if offset == 0 or offset + size != len(image):
        raise ValueError("no certificate table at the end of the image")
    planted += b"\0" * (-len(planted) % 8)
    grown = bytearray(image + planted)
    struct.pack_into("<II", grown, _security_directory_offset(image), offset,
                     size + len(planted))
    # WIN_CERTIFICATE.dwLength, the table entry's own length.
    entry_length = struct.unpack_from("<I", grown, offset)[0]
    struct.pack_into("<I", grown, offset, entry_length + len(planted))
    return bytes(grown)


# --- What Windows reads from a PE image, read here independently of vcpack

def _optional_header(image: bytes) -> int:
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    return pe + 24


def pe_image_end(image: bytes) -> int:
    """Where the last section's raw data ends: the end of a stub's image in
    a package, whose archive follows it."""
    pe = _optional_header(image) - 24
    count, optional_size = struct.unpack_from("<H", image, pe + 6)[0], \
        struct.unpack_from("<H", image, pe + 20)[0]
    table = pe + 24 + optional_size
    return max(sum(struct.unpack_from("<II", image, table + 40 * i + 16))
               for i in range(count))


def stored_checksum(image: bytes) -> int:
    return struct.unpack_from("<I", image, _optional_header(image) + 64)[0]


def pe_checksum(image: bytes) -> int:
    """The PE checksum: the 16-bit one's-complement sum of the image without
    its CheckSum field, plus the image's length."""
    field = _optional_header(image) + 64
    data = image[:field] + b"\0\0\0\0" + image[field + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16)) + len(image)


def icon_images(ico: bytes) -> list[tuple[bytes, bytes]]:
    """Each image of an .ico file: its directory entry (size, colours,
    planes, bits, byte count) and its bytes, wherever the file puts them."""
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    if (reserved, kind) != (0, 1):
        raise ValueError("not an icon file")
    images = []
    for index in range(count):
        entry = ico[6 + 16 * index:6 + 16 * index + 16]
        size, offset = struct.unpack_from("<II", entry, 8)
        images.append((entry[:12], ico[offset:offset + size]))
    return images


def sign(package: Path, signed: Path, scratch: Path) -> None:
    """Signs `package` into `signed` with a throw-away certificate."""
    for tool in ("openssl", "osslsigncode"):
        if shutil.which(tool) is None:
            raise AssertionError(f"{tool} is not installed (scripts/install-deps windows)")
    key, certificate = scratch / "signing-key.pem", scratch / "signing-cert.pem"
    _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
          "-subj", "/CN=vcboot test signer", "-keyout", str(key), "-out", str(certificate)])
    _run(["osslsigncode", "sign", "-certs", str(certificate), "-key", str(key),
          "-n", "vcboot test package", "-in", str(package), "-out", str(signed)])


def verify_signature(package: Path, scratch: Path) -> None:
    """Fails unless `package` holds a signature by the certificate that
    `sign` made in `scratch` that still matches the file."""
    _run(["osslsigncode", "verify", "-CAfile", str(scratch / "signing-cert.pem"),
          "-in", str(package)])


def _run(command: list[str]) -> None:
    done = subprocess.run(command, capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise AssertionError(f"{' '.join(command)} failed: {done.stdout}{done.stderr}")
