"""A reading of PE images just deep enough for the end-to-end tier.

The launcher finds its configuration block through the last section table entry, and ships
its icon, splash bitmap and manifest as resources; both are checked here from the bytes
themselves, independently of the tool chain that wrote them.
"""
from __future__ import annotations

import struct
from dataclasses import dataclass
from pathlib import Path

PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B
MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664

DIRECTORY_RESOURCE = 2
DIRECTORY_SECURITY = 4

RT_ICON = 3
RT_BITMAP = 2
RT_GROUP_ICON = 14
RT_MANIFEST = 24


class PeFormatError(ValueError):
    pass


@dataclass(frozen=True)
class Section:
    name: str
    header_offset: int
    virtual_address: int
    virtual_size: int
    raw_size: int
    raw_offset: int

    def holds_rva(self, rva: int) -> bool:
        extent = max(self.virtual_size, self.raw_size)
        return self.virtual_address <= rva < self.virtual_address + extent


@dataclass(frozen=True)
class DataDirectory:
    rva: int
    size: int


class PeImage:
    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ":
            raise PeFormatError("no MZ signature")
        self.pe_offset = self._u32(60)
        if data[self.pe_offset:self.pe_offset + 4] != b"PE\0\0":
            raise PeFormatError(f"no PE signature at {self.pe_offset}")
        file_header = self.pe_offset + 4
        self.machine = self._u16(file_header)
        self.section_count = self._u16(file_header + 2)
        self.optional_header_size = self._u16(file_header + 16)
        optional = file_header + 20
        self.magic = self._u16(optional)
        if self.magic not in (PE32_MAGIC, PE32_PLUS_MAGIC):
            raise PeFormatError(f"unknown optional header magic {self.magic:#x}")
        self.subsystem = self._u16(optional + 68)
        # The data directories follow the fixed part, whose length depends on the width.
        count_offset = optional + (92 if self.magic == PE32_MAGIC else 108)
        directory_count = self._u32(count_offset)
        self.data_directories = [
            DataDirectory(*struct.unpack_from("<II", data, count_offset + 4 + 8 * i))
            for i in range(directory_count)
        ]
        table = optional + self.optional_header_size
        self.sections = [self._section(table + 40 * i) for i in range(self.section_count)]

    @classmethod
    def from_file(cls, path: Path) -> "PeImage":
        return cls(Path(path).read_bytes())

    def _u16(self, offset: int) -> int:
        return struct.unpack_from("<H", self.data, offset)[0]

    def _u32(self, offset: int) -> int:
        return struct.unpack_from("<I", self.data, offset)[0]

    def _section(self, offset: int) -> Section:
        name = self.data[offset:offset + 8].rstrip(b"\0").decode("ascii", "replace")
        vsize, vaddr, raw_size, raw_offset = struct.unpack_from("<IIII", self.data, offset + 8)
        return Section(name, offset, vaddr, vsize, raw_size, raw_offset)

    @property
    def last_section(self) -> Section:
        return self.sections[-1]

    @property
    def end_of_last_section(self) -> int:
        """Where the configuration block starts: the last table entry is trusted, as the
        launcher trusts it, rather than the section that ends highest in the file."""
        last = self.last_section
        return last.raw_offset + last.raw_size

    def directory(self, index: int) -> DataDirectory:
        if index >= len(self.data_directories):
            return DataDirectory(0, 0)
        return self.data_directories[index]

    def section_for_rva(self, rva: int) -> Section:
        for section in self.sections:
            if section.holds_rva(rva):
                return section
        raise PeFormatError(f"no section holds RVA {rva:#x}")

    def rva_to_offset(self, rva: int) -> int:
        section = self.section_for_rva(rva)
        return rva - section.virtual_address + section.raw_offset

    def resources(self) -> dict:
        """The resource tree as {type: {name: {language: bytes}}}; numeric ids stay ints,
        named entries become strings."""
        entry = self.directory(DIRECTORY_RESOURCE)
        if entry.rva == 0:
            return {}
        root = self.rva_to_offset(entry.rva)
        tree = {}
        for type_id, type_dir in self._resource_entries(root, root):
            names = tree.setdefault(type_id, {})
            for name_id, name_dir in self._resource_entries(root, type_dir):
                languages = names.setdefault(name_id, {})
                for language, leaf in self._resource_entries(root, name_dir):
                    languages[language] = self._resource_data(leaf)
        return tree

    def _resource_entries(self, root: int, directory: int):
        named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
            if name & 0x80000000:
                text_at = root + (name & 0x7FFFFFFF)
                length = self._u16(text_at)
                key = self.data[text_at + 2:text_at + 2 + 2 * length].decode("utf-16-le")
            else:
                key = name
            yield key, root + (target & 0x7FFFFFFF)

    def _resource_data(self, leaf: int) -> bytes:
        rva, size = struct.unpack_from("<II", self.data, leaf)
        start = self.rva_to_offset(rva)
        if start + size > len(self.data):
            raise PeFormatError(f"resource data at {start:#x} runs past the end of the file")
        return self.data[start:start + size]


@dataclass(frozen=True)
class IconGroupEntry:
    width: int
    height: int
    bit_count: int
    bytes_in_resource: int
    icon_id: int


def parse_icon_group(data: bytes) -> list[IconGroupEntry]:
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        raise PeFormatError(f"not an icon group (reserved {reserved}, type {kind})")
    entries = []
    for i in range(count):
        width, height, _colours, _reserved, _planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * i)
        entries.append(IconGroupEntry(width or 256, height or 256, bits, size, icon_id))
    return entries
