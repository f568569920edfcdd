#!/usr/bin/env python3
"""Helpers of the real-ports tests (the real binaries in QEMU against
isa-debugcon devices that answer one fixed byte on 0x62/0x66).

  real_ports.py stamp STAMPS < stream > log
      Copies a serial stream unchanged and notes, for every piece as it
      arrives, the host's monotonic time and the log's length after it.
  real_ports.py interval LOG STAMPS FROM START END
      Seconds between the arrival of the first line holding START and the
      first line holding END, both after the text FROM in LOG.
  real_ports.py compare WRITTEN TRACE
      Compares the bytes a debugcon logged for port 0x66 with the "out 66 HH"
      lines of tolvi-sim's --trace-ports run under the same fixed answers.
"""
import os
import sys
import time


def stamp(stamps_path):
    started = time.monotonic()
    length = 0
    with open(stamps_path, "w") as stamps:
        while True:
            piece = os.read(0, 65536)
            if not piece:
                return 0
            os.write(1, piece)
            length += len(piece)
            stamps.write("%.6f %d\n" % (time.monotonic() - started, length))
            stamps.flush()


def arrival(stamps, offset):
    """When the byte at `offset` had arrived."""
    for seconds, length in stamps:
        if length > offset:
            return seconds
    return None


def interval(log_path, stamps_path, start_from, start_text, end_text):
    log = open(log_path, "rb").read()
    stamps = [(float(s), int(n)) for s, n in (line.split() for line in open(stamps_path))]
    base = log.find(start_from.encode())
    begin = log.find(start_text.encode(), base) if base >= 0 else -1
    end = log.find(end_text.encode(), begin) if begin >= 0 else -1
    if end < 0:
        print("no '%s' then '%s' after '%s' in %s" % (start_text, end_text, start_from, log_path))
        return 1
    # A line has arrived when its last character has.
    t_begin = arrival(stamps, begin + len(start_text) - 1)
    t_end = arrival(stamps, end + len(end_text) - 1)
    print("%.3f" % (t_end - t_begin))
    return 0


def runs(data):
    """Run-length pairs [byte, count]."""
    out = []
    for b in data:
        if out and out[-1][0] == b:
            out[-1][1] += 1
        else:
            out.append([b, 1])
    return out


def is_status_poll(pairs, i):
    """A run of read sub-commands (0x04) right after opcode 0x05 (read status
    register) is a poll: how often it repeats depends on the clock it ran on."""
    return (pairs[i][0] == 0x04 and i >= 2 and pairs[i - 1] == [0x05, 1] and
            pairs[i - 2][0] == 0x02)


def describe(pairs):
    return " ".join("%02x" % b if n == 1 else "%02x*%d" % (b, n) for b, n in pairs)


def compare(written_path, trace_path):
    real = open(written_path, "rb").read() if os.path.exists(written_path) else b""
    model = bytes(int(line.split()[2], 16) for line in open(trace_path)
                  if line.startswith("out 66 "))
    a, b = runs(real), runs(model)
    same = len(a) == len(b)
    for i in range(min(len(a), len(b))):
        if a[i][0] != b[i][0] or (a[i][1] != b[i][1] and not is_status_poll(a, i)):
            same = False
            break
    print("0x66 writes, real:  %s" % describe(a)[:400])
    print("0x66 writes, model: %s" % describe(b)[:400])
    if not same:
        print("they differ (status-poll repetitions aside)")
        return 1
    return 0


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "stamp":
        return stamp(*args)
    if command == "interval":
        return interval(*args)
    if command == "compare":
        return compare(*args)
    print("unknown command " + command)
    return 2


if __name__ == "__main__":
    sys.exit(main())
