#!/usr/bin/env python3
"""Draws the program's icon groups: turns the text pixel art into .ico files and
writes the resource script that names them.

The art (icon_art.txt) holds a few pictures drawn with letters that stand for
parts of the picture (box faces, arrow, outline).  Each icon group below picks
pictures and a colour scheme that gives every letter a colour of the standard
16-colour VGA palette, so one drawing serves several coloured groups.

An .ico file is an ICONDIR (reserved 0, type 1, image count), one 16-byte
ICONDIRENTRY per image (width, height, colour count, reserved, planes, bits per
pixel, byte size, file offset), then the images.  Each image is a device
independent bitmap without file header: a BITMAPINFOHEADER whose height is
twice the picture's (colour rows plus mask rows), the 16-entry palette as
blue, green, red, 0, the colour rows at 4 bits per pixel (high nibble first),
then the AND mask at 1 bit per pixel, where a set bit lets the background show
through.  Both pixel arrays are stored bottom row first, every row padded to a
multiple of 4 bytes.  A 32x32 image is 40 + 64 + 512 + 128 = 744 bytes.

The resource script gives each group its language: Catalan for "A", Spanish for
the others.  Groups with names are kept in name order in the resource
directory, which puts "A" first.
"""
import argparse
import pathlib
import struct
import sys

# The standard VGA text-mode colours, by index.
VGA_PALETTE = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0xAA), (0x00, 0xAA, 0x00), (0x00, 0xAA, 0xAA),
    (0xAA, 0x00, 0x00), (0xAA, 0x00, 0xAA), (0xAA, 0x55, 0x00), (0xAA, 0xAA, 0xAA),
    (0x55, 0x55, 0x55), (0x55, 0x55, 0xFF), (0x55, 0xFF, 0x55), (0x55, 0xFF, 0xFF),
    (0xFF, 0x55, 0x55), (0xFF, 0x55, 0xFF), (0xFF, 0xFF, 0x55), (0xFF, 0xFF, 0xFF),
]
(BLACK, BLUE, GREEN, CYAN, RED, MAGENTA, BROWN, LIGHT_GRAY,
 DARK_GRAY, LIGHT_BLUE, LIGHT_GREEN, LIGHT_CYAN, LIGHT_RED, LIGHT_MAGENTA,
 YELLOW, WHITE) = range(16)

TRANSPARENT = None

# Colour of each art letter per scheme.  A pair of colours is drawn as a
# checkerboard, which gives a shade between the two.
OUTLINE = {'.': TRANSPARENT, 'k': BLACK}
SCHEMES = {
    'cardboard': {'T': YELLOW, 'F': BROWN, 'S': (BROWN, BLACK),
                  'W': LIGHT_GREEN, 'w': GREEN},
    'blue': {'T': LIGHT_BLUE, 'F': BLUE, 'S': (BLUE, BLACK),
             'W': WHITE, 'w': LIGHT_GRAY},
    'red': {'T': LIGHT_RED, 'F': RED, 'S': (RED, BLACK),
            'W': WHITE, 'w': LIGHT_GRAY},
    'green': {'T': LIGHT_GREEN, 'F': GREEN, 'S': (GREEN, BLACK),
              'W': YELLOW, 'w': BROWN},
}

# Resource languages as (primary, sublanguage).
CATALAN = (0x03, 0x01)
SPANISH = (0x0A, 0x01)

# The icon groups: name, language, and (picture, scheme) per image, largest first.
ICON_GROUPS = [
    ('A', CATALAN, [('box', 'cardboard'), ('smallbox', 'cardboard')]),
    ('AGRANDA', SPANISH, [('bigbox', 'cardboard')]),
    ('AZUL', SPANISH, [('box', 'blue')]),
    ('MINI', SPANISH, [('smallbox', 'cardboard')]),
    ('OTRO', SPANISH, [('box', 'green')]),
    ('ROJA', SPANISH, [('box', 'red')]),
]

ICONDIR = struct.Struct('<HHH')
ICONDIRENTRY = struct.Struct('<BBBBHHII')
BITMAPINFOHEADER = struct.Struct('<IiiHHIIiiII')
BITS_PER_PIXEL = 4


class ArtError(Exception):
    pass


def read_art(path):
    """Returns {picture name: list of rows} from the art file.

    Lines starting with '#' and blank lines outside a picture are comments;
    "image NAME SIZE" is followed by exactly SIZE rows of SIZE letters."""
    pictures = {}
    lines = pathlib.Path(path).read_text().splitlines()
    i = 0
    while i < len(lines):
        words = lines[i].split()
        i += 1
        if not words or words[0].startswith('#'):
            continue
        if words[0] != 'image' or len(words) != 3 or not words[2].isdigit():
            raise ArtError(f'{path}:{i}: expected "image NAME SIZE"')
        name, size = words[1], int(words[2])
        rows = lines[i:i + size]
        if len(rows) != size or any(len(row) != size for row in rows):
            raise ArtError(f'{path}:{i}: picture {name} is not {size}x{size}')
        pictures[name] = rows
        i += size
    return pictures


def colour_picture(rows, scheme):
    """Returns the picture as rows of palette indexes, TRANSPARENT where the
    background shows."""
    letters = dict(OUTLINE, **SCHEMES[scheme])
    pixels = []
    for y, row in enumerate(rows):
        out = []
        for x, letter in enumerate(row):
            if letter not in letters:
                raise ArtError(f'letter {letter!r} has no colour in scheme {scheme}')
            colour = letters[letter]
            if isinstance(colour, tuple):
                colour = colour[(x + y) % 2]
            out.append(colour)
        pixels.append(out)
    return pixels


def padded(row_bytes):
    return (row_bytes + 3) & ~3


def pack_row(values, bits):
    """Packs small values into bytes, most significant bits first, and pads
    the row to a multiple of 4 bytes."""
    per_byte = 8 // bits
    data = bytearray()
    for start in range(0, len(values), per_byte):
        byte = 0
        for k, value in enumerate(values[start:start + per_byte]):
            byte |= value << (8 - bits * (k + 1))
        data.append(byte)
    return bytes(data) + bytes(padded(len(data)) - len(data))


def encode_image(pixels):
    """Returns one icon image: header, palette, colour rows, AND mask."""
    size = len(pixels)
    bottom_up = pixels[::-1]
    colour_rows = b''.join(
        pack_row([BLACK if p is TRANSPARENT else p for p in row], BITS_PER_PIXEL)
        for row in bottom_up)
    mask_rows = b''.join(
        pack_row([1 if p is TRANSPARENT else 0 for p in row], 1) for row in bottom_up)
    header = BITMAPINFOHEADER.pack(
        BITMAPINFOHEADER.size, size, 2 * size, 1, BITS_PER_PIXEL, 0,
        len(colour_rows) + len(mask_rows), 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in VGA_PALETTE)
    return header + palette + colour_rows + mask_rows


def encode_ico(pictures):
    """Returns an .ico file holding the given pictures (rows of palette indexes)."""
    images = [encode_image(p) for p in pictures]
    offset = ICONDIR.size + ICONDIRENTRY.size * len(images)
    entries = b''
    for picture, image in zip(pictures, images):
        size = len(picture)
        entries += ICONDIRENTRY.pack(size, size, len(VGA_PALETTE), 0, 1,
                                     BITS_PER_PIXEL, len(image), offset)
        offset += len(image)
    return ICONDIR.pack(0, 1, len(images)) + entries + b''.join(images)


def group_pictures(art, images):
    missing = [picture for picture, _ in images if picture not in art]
    if missing:
        raise ArtError(f'no picture named {missing[0]} in the art')
    return [colour_picture(art[picture], scheme) for picture, scheme in images]


def resource_script(out_dir):
    lines = ['// Icon groups of the program, written by make_icons.py.']
    for name, (primary, sub), _ in ICON_GROUPS:
        ico = (out_dir / f'{name}.ico').resolve().as_posix()
        lines.append(f'LANGUAGE {primary:#04x}, {sub:#04x}')
        lines.append(f'{name} ICON "{ico}"')
    return '\n'.join(lines) + '\n'


def preview_ppm(art, scale=4, gap=8):
    """Returns a PPM picture of every group side by side, on a checkered grey
    background so that transparent pixels are visible."""
    cells = [group_pictures(art, images) for _, _, images in ICON_GROUPS]
    cell_width = max(sum(len(p) for p in cell) + gap * (len(cell) - 1) for cell in cells)
    width = (cell_width + gap) * len(cells) * scale
    height = (32 + 2 * gap) * scale
    canvas = [[(0xC8, 0xC8, 0xC8) if (x // 8 + y // 8) % 2 else (0xE8, 0xE8, 0xE8)
               for x in range(width)] for y in range(height)]
    left = gap // 2
    for cell in cells:
        x0 = left
        for picture in cell:
            for y, row in enumerate(picture):
                for x, p in enumerate(row):
                    if p is TRANSPARENT:
                        continue
                    for dy in range(scale):
                        for dx in range(scale):
                            canvas[(gap + y) * scale + dy][(x0 + x) * scale + dx] = VGA_PALETTE[p]
            x0 += len(picture) + gap
        left += cell_width + gap
    body = bytes(c for row in canvas for pixel in row for c in pixel)
    return f'P6 {width} {height} 255\n'.encode() + body


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--art', required=True, help='the pixel art text file')
    parser.add_argument('--out-dir', required=True, help='where the .ico files and icons.rc go')
    parser.add_argument('--preview', help='also write a PPM picture of all groups here')
    args = parser.parse_args(argv)
    try:
        art = read_art(args.art)
        out_dir = pathlib.Path(args.out_dir)
        out_dir.mkdir(parents=True, exist_ok=True)
        for name, _, images in ICON_GROUPS:
            (out_dir / f'{name}.ico').write_bytes(encode_ico(group_pictures(art, images)))
        (out_dir / 'icons.rc').write_text(resource_script(out_dir))
        if args.preview:
            pathlib.Path(args.preview).write_bytes(preview_ppm(art))
    except (ArtError, OSError) as error:
        print(f'make_icons: {error}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
