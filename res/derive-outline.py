#!/usr/bin/env python3
"""Derives us-outline.txt, the small outline of the 48 contiguous states that
the main window's quad picture draws, from the nation-outline arcs ("N"
lines) of the reference services' Census-derived boundaries.txt.

Usage: python3 res/derive-outline.py services/data/boundaries.txt res/us-outline.txt
"""
import sys

WEST, EAST, SOUTH, NORTH = -125.0, -66.0, 24.0, 50.0
TOLERANCE = 0.15  # degrees; far below one pixel of the 100 x 50 picture


def arcs(path):
    with open(path) as source:
        for line in source:
            fields = line.split()
            if not fields or fields[0] != "N":
                continue
            numbers = [int(value) for value in fields[1:]]
            x, y = numbers[0], numbers[1]
            points = [(x, y)]
            for i in range(2, len(numbers) - 1, 2):
                x += numbers[i]
                y += numbers[i + 1]
                points.append((x, y))
            yield [(px / 1e4, py / 1e4) for px, py in points]


def simplify(points):
    """Douglas-Peucker with TOLERANCE."""
    if len(points) < 3:
        return points
    (ax, ay), (bx, by) = points[0], points[-1]
    dx, dy = bx - ax, by - ay
    length = (dx * dx + dy * dy) ** 0.5
    best, index = -1.0, 0
    for i in range(1, len(points) - 1):
        px, py = points[i]
        if length == 0:
            distance = ((px - ax) ** 2 + (py - ay) ** 2) ** 0.5
        else:
            distance = abs(dy * px - dx * py + bx * ay - by * ax) / length
        if distance > best:
            best, index = distance, i
    if best <= TOLERANCE:
        return [points[0], points[-1]]
    return simplify(points[: index + 1])[:-1] + simplify(points[index:])


def main():
    source, target = sys.argv[1], sys.argv[2]
    lines = []
    for arc in arcs(source):
        if not all(WEST <= x <= EAST and SOUTH <= y <= NORTH for x, y in arc):
            continue
        kept = simplify(arc)
        if len(kept) >= 2:
            lines.append(" ".join("%.2f,%.2f" % point for point in kept))
    with open(target, "w") as out:
        out.write("# Outline of the 48 contiguous states: one polyline a line, longitude,latitude\n")
        out.write("# in degrees. Derived by derive-outline.py from Census cartographic boundaries.\n")
        out.write("\n".join(lines) + "\n")


main()
