#!/usr/bin/env python3
"""Checks the icon groups compiled into the Windows program.

Usage: check_icons.py PROGRAM.exe            check the program's icon groups
       check_icons.py --damage-test PROGRAM.exe
                                              check that damaged copies are refused

The PE file is read without help from other tools.  The DOS header gives the
offset of the PE signature; the COFF header after it gives the number of
sections and the size of the optional header, whose data directory entry 2 is
the resource table (RVA and size).  The section table maps RVAs to file
offsets.

The resource table is a three-level tree: type, then name, then language.
Every level is an IMAGE_RESOURCE_DIRECTORY (16 bytes; named entry count at 12,
numeric entry count at 14) followed by 8-byte entries, named ones first, each
level sorted.  An entry's first word is a numeric id, or with the top bit set
the offset of its name (a 16-bit length and UTF-16 letters); its second word is
the offset of the next level with the top bit set, or of a data entry (RVA and
size of the resource bytes).  Offsets are from the start of the resource table.

A group icon resource (type 14) is a GRPICONDIR (reserved, type 1, count) and
14-byte entries (width, height, colour count, reserved, planes, bits per
pixel, byte size, icon id); each id names an icon resource (type 3), which
holds one bitmap: BITMAPINFOHEADER with the height doubled, palette, colour
rows, AND mask.
"""
import struct
import sys

RT_ICON = 3
RT_GROUP_ICON = 14
RESOURCE_TABLE = 2
LANG_CATALAN = 0x03
LANG_SPANISH = 0x0A

# The groups in resource-directory order: name, primary language, image sizes.
EXPECTED_GROUPS = [
    ('A', LANG_CATALAN, [32, 16]),
    ('AGRANDA', LANG_SPANISH, [32]),
    ('AZUL', LANG_SPANISH, [32]),
    ('MINI', LANG_SPANISH, [16]),
    ('OTRO', LANG_SPANISH, [32]),
    ('ROJA', LANG_SPANISH, [32]),
]
COLOURS = 16
BITS_PER_PIXEL = 4

# Field offsets.
DOS_PE_OFFSET = 0x3C
COFF_SECTION_COUNT = 2
COFF_OPTIONAL_SIZE = 16
COFF_HEADER_SIZE = 20
OPTIONAL_MAGIC_PE32 = 0x10B
OPTIONAL_DATA_DIRECTORIES = 96
SECTION_HEADER_SIZE = 40
SECTION_VIRTUAL_ADDRESS = 12
SECTION_RAW_SIZE = 16
SECTION_RAW_POINTER = 20
DIRECTORY_NAMED_COUNT = 12
DIRECTORY_ID_COUNT = 14
DIRECTORY_HEADER_SIZE = 16
HIGH_BIT = 0x80000000
GROUP_HEADER = struct.Struct('<HHH')
GROUP_ENTRY = struct.Struct('<BBBBHHIH')
BITMAPINFOHEADER = struct.Struct('<IiiHHIIiiII')


class CheckError(Exception):
    pass


def unpack(fmt, data, offset):
    """Reads a structure, refusing to read past the end of the data."""
    size = struct.calcsize(fmt)
    if offset < 0 or offset + size > len(data):
        raise CheckError(f'structure at {offset:#x} runs past the end of the file')
    return struct.unpack_from(fmt, data, offset)


class Resource:
    """One leaf of the resource tree; offsets are file offsets, for damage tests."""

    def __init__(self, type_id, name, name_offset, language, data, data_offset):
        self.type_id, self.name, self.name_offset = type_id, name, name_offset
        self.language, self.data, self.data_offset = language, data, data_offset


class PeResources:
    def __init__(self, data):
        self.data = data
        self.sections = self._read_sections()
        rva, size = self._resource_table()
        self.base = self.file_offset(rva, size)
        self.resources = []
        self._walk(0, [])

    def _read_sections(self):
        (pe,) = unpack('<I', self.data, DOS_PE_OFFSET)
        if self.data[:2] != b'MZ' or self.data[pe:pe + 4] != b'PE\0\0':
            raise CheckError('not a PE file')
        coff = pe + 4
        (count,) = unpack('<H', self.data, coff + COFF_SECTION_COUNT)
        (optional_size,) = unpack('<H', self.data, coff + COFF_OPTIONAL_SIZE)
        self.optional = coff + COFF_HEADER_SIZE
        table = self.optional + optional_size
        sections = []
        for i in range(count):
            header = table + i * SECTION_HEADER_SIZE
            (vaddr, raw_size, raw_pointer) = unpack('<III', self.data,
                                                    header + SECTION_VIRTUAL_ADDRESS)
            sections.append((vaddr, raw_size, raw_pointer))
        return sections

    def _resource_table(self):
        (magic,) = unpack('<H', self.data, self.optional)
        if magic != OPTIONAL_MAGIC_PE32:
            raise CheckError(f'optional header magic {magic:#x} is not PE32')
        return unpack('<II', self.data,
                      self.optional + OPTIONAL_DATA_DIRECTORIES + 8 * RESOURCE_TABLE)

    def file_offset(self, rva, size):
        for vaddr, raw_size, raw_pointer in self.sections:
            if vaddr <= rva and rva + size <= vaddr + raw_size:
                return raw_pointer + rva - vaddr
        raise CheckError(f'RVA {rva:#x} (+{size}) lies in no section')

    def _entry_name(self, word):
        """Returns (name or id, file offset of the name's letters or None)."""
        if not word & HIGH_BIT:
            return word, None
        offset = self.base + (word & ~HIGH_BIT)
        (length,) = unpack('<H', self.data, offset)
        letters = unpack(f'<{2 * length}s', self.data, offset + 2)[0]
        return letters.decode('utf-16-le'), offset + 2

    def _walk(self, table_offset, path):
        """Collects the leaves below one directory, in directory order."""
        if len(path) > 3:
            raise CheckError('resource tree deeper than type, name, language')
        directory = self.base + table_offset
        named, ids = unpack('<HH', self.data, directory + DIRECTORY_NAMED_COUNT)
        for i in range(named + ids):
            word, target = unpack('<II', self.data, directory + DIRECTORY_HEADER_SIZE + 8 * i)
            step = path + [self._entry_name(word)]
            if target & HIGH_BIT:
                self._walk(target & ~HIGH_BIT, step)
                continue
            if len(step) != 3:
                raise CheckError(f'resource data at depth {len(step)}, expected 3')
            rva, size = unpack('<II', self.data, self.base + target)
            offset = self.file_offset(rva, size)
            (type_id, _), (name, name_offset), (language, _) = step
            self.resources.append(Resource(type_id, name, name_offset, language,
                                           self.data[offset:offset + size], offset))

    def of_type(self, type_id):
        return [r for r in self.resources if r.type_id == type_id]


def image_bytes(size):
    """Byte size of one 4-bit icon image with its header, palette and mask."""
    colour_row = (size * BITS_PER_PIXEL + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    return BITMAPINFOHEADER.size + 4 * COLOURS + size * (colour_row + mask_row)


def check_icon(icon, size, where):
    """Returns the problems of one icon image that should be size x size."""
    (header_size, width, height, planes, bits, compression, *_) = unpack(
        BITMAPINFOHEADER.format, icon.data, 0)
    found = (header_size, width, height, planes, bits, compression, len(icon.data))
    wanted = (BITMAPINFOHEADER.size, size, 2 * size, 1, BITS_PER_PIXEL, 0, image_bytes(size))
    if found != wanted:
        return [f'{where}: bitmap (header, width, height, planes, bits, compression, bytes) '
                f'is {found}, expected {wanted}']
    return []


def check_group(group, icons, sizes, where):
    """Returns the problems of one group whose images should have the given sizes."""
    reserved, kind, count = unpack(GROUP_HEADER.format, group.data, 0)
    if (reserved, kind, count) != (0, 1, len(sizes)):
        return [f'{where}: header (reserved, type, count) is {(reserved, kind, count)}, '
                f'expected {(0, 1, len(sizes))}']
    problems = []
    for i, size in enumerate(sizes):
        (width, height, colours, _, planes, bits, byte_size, icon_id) = unpack(
            GROUP_ENTRY.format, group.data, GROUP_HEADER.size + i * GROUP_ENTRY.size)
        image = f'{where} image {i + 1}'
        found = (width, height, colours, planes, bits)
        if found != (size, size, COLOURS, 1, BITS_PER_PIXEL):
            problems.append(f'{image}: (width, height, colours, planes, bits) is {found}, '
                            f'expected {(size, size, COLOURS, 1, BITS_PER_PIXEL)}')
            continue
        icon = icons.get((icon_id, group.language))
        if icon is None:
            problems.append(f'{image}: no icon {icon_id} in language {group.language:#06x}')
        elif len(icon.data) != byte_size:
            problems.append(f'{image}: group says {byte_size} bytes, icon {icon_id} has '
                            f'{len(icon.data)}')
        else:
            problems += check_icon(icon, size, f'{image} (icon {icon_id})')
    return problems


def check_program(data):
    """Returns the list of problems with the program's icon groups."""
    resources = PeResources(data)
    groups = resources.of_type(RT_GROUP_ICON)
    icons = {(r.name, r.language): r for r in resources.of_type(RT_ICON)}
    names = [g.name for g in groups]
    expected_names = [name for name, _, _ in EXPECTED_GROUPS]
    if names != expected_names:
        return [f'icon groups are {names}, expected {expected_names} in this order']
    problems = []
    for group, (name, language, sizes) in zip(groups, EXPECTED_GROUPS):
        if group.language & 0x3FF != language:
            problems.append(f'group {name}: language {group.language:#06x}, '
                            f'expected primary language {language:#04x}')
        problems += check_group(group, icons, sizes, f'group {name}')
    image_count = sum(len(sizes) for _, _, sizes in EXPECTED_GROUPS)
    if len(icons) != image_count:
        problems.append(f'{len(icons)} icon images, expected {image_count}')
    return problems


def problems_of(data):
    try:
        return check_program(data)
    except CheckError as error:
        return [str(error)]


def damaged_copies(data):
    """Yields (description, damaged copy of the program) pairs, each of which
    the check must refuse."""
    resources = PeResources(data)
    groups = {g.name: g for g in resources.of_type(RT_GROUP_ICON)}

    def patched(offset, value):
        copy = bytearray(data)
        copy[offset] = value
        return bytes(copy)

    mini = groups['MINI']
    yield 'MINI listed as 32 pixels wide', patched(mini.data_offset + GROUP_HEADER.size, 32)
    yield 'group A renamed to B', patched(groups['A'].name_offset, ord('B'))
    first_icon = resources.of_type(RT_ICON)[0]
    yield 'an icon with 8 bits per pixel', patched(first_icon.data_offset + 14, 8)
    yield 'group AZUL with a 256-colour entry', patched(
        groups['AZUL'].data_offset + GROUP_HEADER.size + 2, 0)
    yield 'program cut in half', data[:len(data) // 2]


def main(argv):
    damage_test = argv[:1] == ['--damage-test']
    if damage_test:
        argv = argv[1:]
    if len(argv) != 1:
        print(__doc__.split('\n\n')[1], file=sys.stderr)
        return 2
    with open(argv[0], 'rb') as f:
        data = f.read()
    problems = problems_of(data)
    if damage_test and not problems:
        accepted = [what for what, copy in damaged_copies(data) if not problems_of(copy)]
        problems = [f'damaged copy accepted: {what}' for what in accepted]
    for problem in problems:
        print(f'check_icons: {problem}', file=sys.stderr)
    if problems:
        return 1
    if damage_test:
        print(f'check_icons: all {len(list(damaged_copies(data)))} damaged copies refused')
    else:
        print('check_icons: icon groups ok: ' + ', '.join(
            f'{name} {"+".join(map(str, sizes))}' for name, _, sizes in EXPECTED_GROUPS))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
