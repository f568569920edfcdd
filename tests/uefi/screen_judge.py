#!/usr/bin/env python3
"""Judges the board model's screen by the real firmware's.

The serial log of an OVMF boot holds, for every case, the console stream of
tolvi-sim.efi between two markers that startup.nsh echoed. The stream is
rendered with a terminal emulator (pyte) into a screen of the shell's mode and
compared cell by cell, character and colour, with the screen that the hosted
tolvi-sim prints with --screen for the same run. Every line of the stream,
as the cursor walks it, must also fit 79 columns.

  screen_judge.py SERIAL_LOG CASES TOLVI_SIM HOST_DIR

CASES has one line per run, in the order of the boot: "INDEX|MODE|NAME|ARGS",
where MODE is COLSxROWS or "start" (the mode the shell listed as current) and
ARGS the harness and program arguments. HOST_DIR holds the same input files
as the disk; the host runs happen there, in the same order, so that the flash
files evolve as on the disk.
"""
import re
import shlex
import subprocess
import sys

import pyte

# The firmware's colours are numbered blue-green-red by bit, the terminal's
# red-green-blue; brightness (bit 3) arrives as bold or as the 90-97 colours,
# which pyte both turns into bold.
FIRMWARE_OF_NAME = {
    "black": 0, "blue": 1, "green": 2, "cyan": 3,
    "red": 4, "magenta": 5, "brown": 6, "white": 7,
}

# Step lines that must start at the screen's left edge (at most the two
# blanks of the program's layout before them), with the cases that show them.
UPDATE_STEPS = ["Eraseing", "Erase Verify", "Programing", "Verify...",
                "vEnterFollowMode", "SPIDeviceID=", "vExitFollowMode"]
# /U has no erase check: its compare pass takes that place.
CHANGED_STEPS = ["Compare...", "Eraseing", "Programing", "Verify..."]
DUMP_STEPS = ["Save FW to", "vEnterFollowMode", "SPIDeviceID=", "vExitFollowMode"]
MAX_INDENT = 2
# No line of the program's may pass column 79: on an 80-column screen the
# console would break it at any character, and the 80th column scrolls.
MAX_WIDTH = 79
CSI = re.compile(r"\x1b\[([0-9;]*)([A-Za-z])")


def too_wide_lines(name, stream):
    """Every line of the stream, as the cursor walks it, wider than MAX_WIDTH."""
    problems = []
    column, line, at = 0, "", 0
    while at < len(stream):
        move = CSI.match(stream, at)
        if move:
            if move.group(2) == "H":
                parts = (move.group(1) or "1;1").split(";")
                column = int(parts[1]) - 1 if len(parts) > 1 and parts[1] else 0
                line = " " * column
            at = move.end()
            continue
        c = stream[at]
        at += 1
        if c == "\r":
            column, line = 0, ""
        elif c == "\n":
            line = ""
        elif c >= " ":
            column += 1
            line += c
            if column == MAX_WIDTH + 1:
                problems.append("%s: a line passes column %d: %r" % (name, MAX_WIDTH, line))
    return problems


def cell_value(cell):
    """(character, foreground, background) as firmware attribute parts."""
    fg = 7 if cell.fg == "default" else FIRMWARE_OF_NAME.get(cell.fg, -1)
    if cell.bold and fg >= 0:
        fg |= 8
    bg = 0 if cell.bg == "default" else FIRMWARE_OF_NAME.get(cell.bg, -1)
    # A blank shows only its background.
    return (cell.data, None if cell.data == " " else fg, bg)


def screen_cells(screen, columns, rows):
    return [[cell_value(screen.buffer[y][x]) for x in range(columns)] for y in range(rows)]


def row_text(cells):
    return "".join(c[0] for c in cells).rstrip()


def firmware_screens(stream, columns, rows):
    """The screen before every clear and at the end, as pyte renders them."""
    screen = pyte.Screen(columns, rows)
    feeder = pyte.Stream(screen)
    snapshots = []
    pieces = stream.split("\x1b[2J")
    for i, piece in enumerate(pieces):
        if i > 0:
            snapshots.append(screen_cells(screen, columns, rows))
            feeder.feed("\x1b[2J")
        feeder.feed(piece)
    final = screen_cells(screen, columns, rows)
    return snapshots + [final], final


def model_screen(text, columns, rows):
    """The --screen rows of the hosted harness: "\\n"-ended, with SGR colours."""
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) > rows:
        return None, "the model printed %d rows for a %d-row screen" % (len(lines), rows)
    screen = pyte.Screen(columns, rows + 1)
    pyte.Stream(screen).feed("\r\n".join(lines))
    return screen_cells(screen, columns, rows), None


def check_left_edge(name, snapshots, steps):
    problems = []
    for step in steps:
        seen = False
        reported = set()
        for snapshot in snapshots:
            for y, cells in enumerate(snapshot):
                text = row_text(cells)
                body = text.lstrip(" ")
                if not body.startswith(step):
                    continue
                indent = len(text) - len(body)
                if indent > MAX_INDENT:
                    if (indent, y) not in reported:
                        reported.add((indent, y))
                        problems.append("%s: '%s' starts at column %d of row %d"
                                        % (name, step, indent, y))
                else:
                    seen = True
        if not seen:
            problems.append("%s: no row of the firmware's screen starts with '%s'" % (name, step))
    return problems


def describe(cells):
    return "".join(c[0] for c in cells).rstrip()


def compare(name, firmware, model, columns, rows):
    problems = []
    for y in range(rows):
        for x in range(columns):
            if firmware[y][x] != model[y][x]:
                problems.append("%s: first difference at column %d, row %d: firmware %r, model %r"
                                % (name, x, y, firmware[y][x], model[y][x]))
                break
        if problems:
            break
    if problems:
        lines = ["  firmware | model"]
        for y in range(rows):
            mark = "  " if firmware[y] == model[y] else "! "
            lines.append(mark + "%-*s | %s" % (columns, describe(firmware[y]), describe(model[y])))
        problems.append("\n".join(lines))
    return problems


def main():
    serial_path, cases_path, sim, host_dir = sys.argv[1:5]
    # The firmware's terminal speaks PC-ANSI: the block U+2588 is byte 0xDB.
    log = open(serial_path, "rb").read().replace(b"\0", b"").decode("cp437")

    listing = re.search(r"Col\s+(\d+)\s+Row\s+(\d+)\s+\*", log)
    if listing is None:
        print("FAIL: the shell's mode listing names no current mode")
        return 1
    start_mode = (int(listing.group(1)), int(listing.group(2)))
    print("shell's starting mode: %dx%d" % start_mode)

    failures = []
    compared = 0
    for line in open(cases_path):
        line = line.rstrip("\n")
        if not line:
            continue
        index, mode, name, args = line.split("|", 3)
        columns, rows = start_mode if mode == "start" else map(int, mode.split("x"))
        label = "%s at %dx%d" % (name, columns, rows)

        begin = "@@B%s@@\r\n" % index
        end = "@@E%s@@" % index
        start = log.find(begin)
        stop = log.find(end, start + 1)
        if start < 0 or stop < 0:
            failures.append("%s: markers %s/%s not found in the serial log" % (label, begin.strip(), end))
            continue
        stream = log[start + len(begin):stop]
        failures += too_wide_lines(label, stream)
        snapshots, firmware = firmware_screens(stream, columns, rows)

        run = subprocess.run([sim, "--screen", "--screen-size", "%dx%d" % (columns, rows)] +
                             shlex.split(args), cwd=host_dir, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        if run.returncode not in (0, 1, 2):
            failures.append("%s: tolvi-sim ended with %d: %s"
                            % (label, run.returncode, run.stderr.decode(errors="replace")))
            continue
        model, error = model_screen(run.stdout.decode("utf-8"), columns, rows)
        if error:
            failures.append("%s: %s" % (label, error))
            continue

        failures += compare(label, firmware, model, columns, rows)
        if name == "update-changed":
            failures += check_left_edge(label, snapshots, CHANGED_STEPS)
        elif name.startswith("update"):
            failures += check_left_edge(label, snapshots, UPDATE_STEPS)
        elif name == "dump":
            failures += check_left_edge(label, snapshots, DUMP_STEPS)
        compared += 1

    for failure in failures:
        print("FAIL: " + failure)
    print("%d screens compared, %d problem(s)" % (compared, len(failures)))
    return 1 if failures or compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
