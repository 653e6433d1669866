"""Where each value of a launcher's configuration block sits in the file.

The truncation scenarios cut a real launcher inside one chosen value and expect the reader
primitive that was reading it to fail; this map of the block, walked the way the format is
laid out, is how a scenario finds that value in whatever the build tool produced.
"""
from __future__ import annotations

import struct
from dataclasses import dataclass

MAGIC = 0xE8E413D5


@dataclass(frozen=True)
class Field:
    role: str    # what the value means, e.g. "narrow value" or "group count"
    kind: str    # the reader primitive: "int", "long", "string", "wstring"
    offset: int  # file offset of the value's first byte (a string's text, not its length)
    size: int


class _Walker:
    def __init__(self, image: bytes, start: int):
        self.image = image
        self.position = start
        self.fields: list[Field] = []

    def _take(self, role: str, kind: str, size: int) -> bytes:
        if self.position + size > len(self.image):
            raise ValueError(f"block ends inside its {role} at {self.position}")
        self.fields.append(Field(role, kind, self.position, size))
        raw = self.image[self.position:self.position + size]
        self.position += size
        return raw

    def int(self, role: str) -> int:
        return struct.unpack("<i", self._take(role, "int", 4))[0]

    def long(self, role: str) -> int:
        return struct.unpack("<q", self._take(role, "long", 8))[0]

    def string(self, role: str, kind: str = "string") -> bytes:
        length = self.int(role + " length")
        if length < 0:
            raise ValueError(f"negative length for {role}")
        return self._take(role, kind, length)

    def wstring(self, role: str) -> str:
        return self.string(role, "wstring").decode("utf-16-le")


def block_fields(image: bytes, start: int) -> list[Field]:
    walk = _Walker(image, start)
    if walk.int("magic") & 0xFFFFFFFF != MAGIC:
        raise ValueError(f"no configuration block at {start}")
    walk.int("header word")
    walk.int("header word")
    walk.long("header length")
    for _ in range(walk.int("narrow count")):
        walk.int("narrow key")
        walk.string("narrow value")
    for _ in range(walk.int("wide count")):
        walk.int("wide key")
        walk.wstring("wide value")
    for _ in range(walk.int("group count")):
        walk.string("group name")
        for _ in range(walk.int("group entry count")):
            walk.int("group key")
            walk.wstring("group value")
    return walk.fields


def narrow_entries(image: bytes, start: int) -> dict[int, bytes]:
    """The narrow entries as stored, later duplicates winning, for checking what a build
    actually put into a launcher before a scenario relies on it."""
    entries = {}
    fields = block_fields(image, start)
    for key_field, value_field in zip(fields, fields[1:]):
        if key_field.role == "narrow key" and value_field.role == "narrow value length":
            key = struct.unpack_from("<i", image, key_field.offset)[0]
            length = struct.unpack_from("<i", image, value_field.offset)[0]
            text_at = value_field.offset + 4
            entries[key] = image[text_at:text_at + length]
    return entries


def encode_block(narrow: list[tuple[int, bytes]]) -> bytes:
    """A block with narrow entries only, written by hand for what the build tool never
    writes (a key twice, bytes outside any code page, no entries at all)."""
    def string(value: bytes) -> bytes:
        return struct.pack("<i", len(value)) + value

    body = struct.pack("<i", len(narrow))
    body += b"".join(struct.pack("<i", key) + string(value) for key, value in narrow)
    body += struct.pack("<ii", 0, 0)  # no wide entries, no locale groups
    # The length word counts from its own first byte to the end of the locale groups.
    return struct.pack("<Iiiq", MAGIC, 0, 0, 8 + len(body)) + body
