"""What the included-file scenarios share: the messages a launcher needs for the exits they
provoke, content that shows every byte value, the launcher temp directories in the prefix's
temp directory, the native log's lines, and the layout of the records behind the block.
"""
from __future__ import annotations

import os
import re
import shutil
import struct
from pathlib import Path

import harness
from config_block import block_fields
from pe_image import PeImage

INTERNAL_ERROR = "An internal error occurred (error code: {0})"
SETTINGS = {1000: "Error", 1009: INTERNAL_ERROR, 1016: harness.NO_JVM_MESSAGE, 2001: "i"}
NO_JVM_TEXT = harness.NO_JVM_MESSAGE.replace("{0}", "64")
NAMES_KEY = 2003
SIZE_FIELD = 8

# GetTempFileName's name (prefix, up to four hex digits, .tmp), "_dir" and the time in seconds.
TEMP_DIR_NAME = re.compile(r"qvo[0-9A-Fa-f]{1,4}\.tmp_dir-?\d+")
TEMP_FILE_NAME = re.compile(r"qvo[0-9A-Fa-f]{1,4}\.tmp")


def every_byte_value(size: int) -> bytes:
    """All 256 values in every run of 256 bytes, each run shifted by one against the last, so
    that bytes taken from the wrong offset cannot match by the pattern's period."""
    return bytes((i * 7 + i // 256) % 256 for i in range(size))


def random_bytes(size: int) -> bytes:
    return os.urandom(size)


def internal_error(code: str) -> str:
    return INTERNAL_ERROR.replace("{0}", code)


def launcher_temp_dirs(prefix: harness.WinePrefix) -> list[Path]:
    return sorted(path for path in prefix.temp_dir.iterdir()
                  if path.is_dir() and TEMP_DIR_NAME.fullmatch(path.name))


def temp_files(prefix: harness.WinePrefix) -> set[str]:
    return {path.name for path in prefix.temp_dir.iterdir()
            if path.is_file() and TEMP_FILE_NAME.fullmatch(path.name)}


def remove_launcher_leftovers(prefix: harness.WinePrefix) -> None:
    """Temp directories of launchers that were ended from outside, and the names reserved
    beside every temp directory; a scenario that counts them starts from none."""
    for directory in launcher_temp_dirs(prefix):
        shutil.rmtree(directory, ignore_errors=True)
    for name in temp_files(prefix):
        (prefix.temp_dir / name).unlink(missing_ok=True)


def log_lines(log: Path) -> list[str]:
    return log.read_bytes().decode("latin-1").split("\r\n")


def line_after(lines: list[str], lead: str) -> str:
    """The rest of the first line that starts with lead."""
    for line in lines:
        if line.startswith(lead):
            return line[len(lead):]
    raise AssertionError(f"no line starting with {lead!r} in the log:\n" + "\n".join(lines))


def records_start(image: bytes) -> int:
    """The first byte behind the block, where the included-file records begin."""
    last = block_fields(image, PeImage(image).end_of_last_section)[-1]
    return last.offset + last.size


def record_spans(image: bytes, count: int) -> list[tuple[int, int]]:
    """(offset of the size field, content size) of the first count records."""
    spans, position = [], records_start(image)
    for _ in range(count):
        size = struct.unpack_from("<q", image, position)[0]
        spans.append((position, size))
        position += SIZE_FIELD + max(size, 0)
    return spans


def replace_narrow_value(image: bytes, key: int, old: bytes, new: bytes) -> bytes:
    """The image with old replaced by new inside the stored value of key. The lengths must
    agree: the value's length word and everything behind it stay where they are, which is
    how a name the build tool refuses gets into an otherwise real launcher."""
    if len(old) != len(new):
        raise ValueError(f"{old!r} and {new!r} differ in length")
    fields = block_fields(image, PeImage(image).end_of_last_section)
    for key_field, value_field in zip(fields, fields[2:]):
        if (key_field.role == "narrow key" and value_field.role == "narrow value"
                and struct.unpack_from("<i", image, key_field.offset)[0] == key):
            value = image[value_field.offset:value_field.offset + value_field.size]
            if value.count(old) != 1:
                raise ValueError(f"{old!r} is not once in the value {value!r} of key {key}")
            patched = value.replace(old, new)
            return (image[:value_field.offset] + patched
                    + image[value_field.offset + value_field.size:])
    raise ValueError(f"no narrow entry {key} in the block")
