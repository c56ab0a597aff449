#!/usr/bin/env python3
"""Draws the program's hand pointer and writes it as a Windows cursor file (HAND-M.CUR).

Regenerate with:  python3 resources/make_cursor.py resources/HAND-M.CUR
The picture is the ASCII art below: '#' outline, '.' white fill, ' ' transparent.
"""
import struct
import sys

HAND = """
     ##
    #..#
    #..#
    #..#
    #..#
    #..###
    #..#..###
    #..#..#..##
 ## #..#..#..#.#
#..##........#..#
#...#...........#
 #..............#
  #.............#
  #.............#
   #............#
   #...........#
    #..........#
    #.........#
     #........#
     #........#
     ##########
"""
HOTSPOT = (5, 1)  # the tip of the index finger
SIZE = 32


def pixels():
    rows = HAND.strip("\n").split("\n")
    grid = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == "#":
                grid[y][x] = (0, 0, 0, 255)
            elif ch == ".":
                grid[y][x] = (255, 255, 255, 255)
    return grid


def cursor_bytes():
    grid = pixels()
    xor = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        for r, g, b, a in grid[y]:
            xor += bytes((b, g, r, a))
    mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        row = bytearray()
        for x in range(SIZE):
            transparent = grid[y][x][3] == 0
            bits = (bits << 1) | (1 if transparent else 0)
            if x % 8 == 7:
                row.append(bits)
                bits = 0
        mask += row  # 32 pixels make 4 bytes: already padded to a 4-byte boundary
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    icondir = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOTSPOT[0], HOTSPOT[1], len(image), 6 + 16)
    return icondir + entry + image


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else "HAND-M.CUR"
    with open(target, "wb") as out:
        out.write(cursor_bytes())
