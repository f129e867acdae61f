#!/usr/bin/env python3
"""Turns the cube field pictures in tools/cube_field.txt into scene/cube_field_table.cpp.

Run without arguments to rewrite the table; with --check to fail when the committed table is not
what the pictures give. Either way the field must keep its shape, or nothing is written.
"""

import argparse
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PICTURE = ROOT / "tools" / "cube_field.txt"
TABLE = ROOT / "scene" / "cube_field_table.cpp"

# A cube's character gives its z: the first is the group's lowest z, each next one 0.1 more.
ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn"
EMPTY = "."

# The shape the viewer's scene is built around; z is in tenths so that every comparison is exact.
GROUP_COUNTS = (323, 696)
FIRST_X = (12, 100)
FIRST_MISSING_X = {20, 27, 46, 47, 52, 53, 54, 82, 90}
FIRST_Y = (9, 20)
SECOND_X = (-20, 20)
SECOND_Y = (-22, 20)
LOWEST_Z_TENTHS = (-70, -700)
SHARED_PAIRS = 16
SHARED_X = (12, 15)
SHARED_Y = (11, 17)
TELLING_ENTRIES = {
    0: (37, 9, -65),
    1: (38, 9, -41),
    2: (39, 9, -59),
    3: (40, 9, -46),
    4: (41, 9, -70),
    322: (100, 20, -46),
    323: (-7, -22, -698),
    324: (-6, -22, -668),
    325: (-5, -22, -665),
    1014: (-13, 20, -654),
    1015: (-12, 20, -677),
    1016: (-11, 20, -670),
    1017: (-10, 20, -654),
    1018: (-9, 20, -676),
}

HEADER = re.compile(
    r"group x (-?\d+) to (-?\d+), y (-?\d+) down to (-?\d+), z from (-?\d+)\.(\d)$")


class FieldError(Exception):
    pass


def parse_pictures(text):
    """Returns one list of (x, y, z in tenths) per picture, in the order the lines give them."""
    groups = []
    rows = None
    frame = None

    def close_group():
        if frame is None:
            return
        x_low, x_high, y_top, y_bottom, _ = frame
        if len(rows) != y_top - y_bottom + 1:
            raise FieldError(f"picture {len(groups)}: {len(rows)} lines for y {y_top} down to "
                             f"{y_bottom}")

    for number, line in enumerate(text.splitlines(), start=1):
        if line.startswith("#") or not line.strip():
            continue
        header = HEADER.match(line)
        if header:
            close_group()
            x_low, x_high, y_top, y_bottom, z_whole, z_tenth = header.groups()
            z_sign = -1 if z_whole.startswith("-") else 1
            z_low = int(z_whole) * 10 + z_sign * int(z_tenth)
            frame = (int(x_low), int(x_high), int(y_top), int(y_bottom), z_low)
            rows = []
            groups.append([])
            continue
        if frame is None:
            raise FieldError(f"line {number}: picture line before any group line")
        x_low, x_high, y_top, _, z_low = frame
        if len(line) != x_high - x_low + 1:
            raise FieldError(f"line {number}: {len(line)} characters for x {x_low} to {x_high}")
        y = y_top - len(rows)
        for column, character in enumerate(line):
            if character == EMPTY:
                continue
            if character not in ALPHABET:
                raise FieldError(f"line {number}: '{character}' is neither '.' nor a z character")
            groups[-1].append((x_low + column, y, z_low + ALPHABET.index(character)))
        rows.append(line)
    close_group()
    # Table order: y ascending, then x ascending.
    return [sorted(group, key=lambda entry: (entry[1], entry[0])) for group in groups]


def whole_range(bounds):
    return set(range(bounds[0], bounds[1] + 1))


def shape_faults(groups):
    """Every way the field departs from its shape, as readable lines; empty when it holds."""
    if len(groups) != 2:
        return [f"{len(groups)} pictures, expected 2"]
    faults = []
    first, second = groups
    names = ("first", "second")
    for name, group, count in zip(names, groups, GROUP_COUNTS):
        if len(group) != count:
            faults.append(f"{name} group: {len(group)} cubes, expected {count}")

    ranges = ((FIRST_X, FIRST_Y), (SECOND_X, SECOND_Y))
    for name, group, (x_bounds, y_bounds), z_low in zip(names, groups, ranges, LOWEST_Z_TENTHS):
        xs = {x for x, _, _ in group}
        ys = {y for _, y, _ in group}
        zs = {z for _, _, z in group}
        if xs - whole_range(x_bounds):
            faults.append(f"{name} group: x outside {x_bounds}: "
                          f"{sorted(xs - whole_range(x_bounds))}")
        if ys != whole_range(y_bounds):
            faults.append(f"{name} group: y must be every value of {y_bounds}; missing "
                          f"{sorted(whole_range(y_bounds) - ys)}, outside "
                          f"{sorted(ys - whole_range(y_bounds))}")
        all_z = set(range(z_low, z_low + len(ALPHABET)))
        if zs != all_z:
            faults.append(f"{name} group: z tenths missing {sorted(all_z - zs)}")
        z_in_order = [z for _, _, z in group]
        if z_in_order == sorted(z_in_order) or z_in_order == sorted(z_in_order, reverse=True):
            faults.append(f"{name} group: z is ordered")
        keys = [(y, x) for x, y, _ in group]
        if any(a >= b for a, b in zip(keys, keys[1:])):
            faults.append(f"{name} group: not strictly sorted by y, then x")

    first_xs = {x for x, _, _ in first}
    expected_first_xs = whole_range(FIRST_X) - FIRST_MISSING_X
    if first_xs != expected_first_xs:
        faults.append(f"first group: x missing {sorted(expected_first_xs - first_xs)}, "
                      f"unexpected {sorted(first_xs - expected_first_xs)}")
    second_xs = {x for x, _, _ in second}
    if second_xs != whole_range(SECOND_X):
        faults.append(f"second group: x missing {sorted(whole_range(SECOND_X) - second_xs)}")

    entries = first + second
    if len(set(entries)) != len(entries):
        faults.append("two entries are equal")

    shared = {(x, y) for x, y, _ in first} & {(x, y) for x, y, _ in second}
    if len(shared) != SHARED_PAIRS:
        faults.append(f"{len(shared)} (x, y) pairs shared by the groups, expected {SHARED_PAIRS}")
    stray = sorted((x, y) for x, y in shared
                   if not (SHARED_X[0] <= x <= SHARED_X[1] and SHARED_Y[0] <= y <= SHARED_Y[1]))
    if stray:
        faults.append(f"shared (x, y) pairs outside x {SHARED_X}, y {SHARED_Y}: {stray}")

    for index, expected in TELLING_ENTRIES.items():
        actual = entries[index] if index < len(entries) else None
        if actual != expected:
            faults.append(f"entry {index}: {describe(actual)}, expected {describe(expected)}")
    return faults


def describe(entry):
    if entry is None:
        return "absent"
    x, y, z = entry
    return f"({x}, {y}, {tenths_literal(z)[:-1]})"


def tenths_literal(tenths):
    """The z decimal as a float literal, so the compiler rounds it to the nearest single."""
    sign = "-" if tenths < 0 else ""
    return f"{sign}{abs(tenths) // 10}.{abs(tenths) % 10}f"


def render_table(groups):
    first, second = groups
    lines = [
        "// The cube field's positions; generated by tools/make_cube_field.py from",
        "// tools/cube_field.txt, do not edit by hand: change the pictures and run the script.",
        '#include "scene/cube_field.h"',
        "",
        "// clang-format off",
        "const std::vector<float> kCubeField = {",
    ]
    sections = (
        (f"entries 0 to {len(first) - 1}: the near group, z from -7.0 to -2.1", first, 0),
        (f"entries {len(first)} to {len(first) + len(second) - 1}: the far group, "
         "z from -70.0 to -65.1", second, len(first)),
    )
    for title, group, start in sections:
        lines.append(f"    // {title}")
        lines.append("    //     x       y       z")
        for offset, (x, y, z) in enumerate(group):
            values = (f"{x}.0f,", f"{y}.0f,", tenths_literal(z) + ",")
            lines.append("    " + " ".join(f"{value:>7}" for value in values) +
                         f"  // {start + offset}")
    lines += ["};", "// clang-format on", ""]
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="fail if the committed table differs from what the pictures give")
    parser.add_argument("--picture", type=Path, default=PICTURE, help="the pictures to read")
    parser.add_argument("--table", type=Path, default=TABLE, help="the C++ table to write or check")
    args = parser.parse_args(argv)

    try:
        groups = parse_pictures(args.picture.read_text(encoding="utf-8"))
    except (OSError, FieldError) as error:
        print(f"make_cube_field.py: {args.picture}: {error}", file=sys.stderr)
        return 1
    faults = shape_faults(groups)
    if faults:
        print(f"make_cube_field.py: {args.picture} does not give the cube field's shape:",
              file=sys.stderr)
        for fault in faults:
            print(f"  {fault}", file=sys.stderr)
        return 1

    table = render_table(groups)
    if args.check:
        committed = args.table.read_text(encoding="utf-8") if args.table.exists() else None
        if committed != table:
            print(f"make_cube_field.py: {args.table} is not what {args.picture} gives; "
                  "run tools/make_cube_field.py", file=sys.stderr)
            return 1
        return 0
    args.table.write_text(table, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
