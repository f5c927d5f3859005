#!/usr/bin/env python3
"""Summarizes the rows of repeated stream_load and gst_stream_load runs (a
markdown table, as scripts/bench.sh collects them) per transport and stream
count: the median CPU per stream of each side and their ratio, the frames
lost over all runs, and the time to the first frame (median of the runs'
medians, maximum of their maxima).

Usage: load-summary.py ROWS_FILE"""
import math
import statistics
import sys
from collections import defaultdict

RECEIVERS = ("driver", "GStreamer")
TRANSPORTS = ("UDP", "interleaved")


def milliseconds(cell):
    return math.inf if cell == "none" else float(cell.split()[0])


def read_runs(path):
    """{(transport, streams): {receiver: [run, ...]}}; a run is None when it failed."""
    runs = defaultdict(lambda: defaultdict(list))
    with open(path) as rows:
        for line in rows:
            cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
            if cells[0] not in RECEIVERS:
                continue
            receiver, transport, streams = cells[0], cells[1], int(cells[2])
            run = None
            if cells[3] != "failed":
                run = {"cpu": float(cells[10].split()[0]), "lost": int(cells[8]),
                       "first": milliseconds(cells[13]), "first_max": milliseconds(cells[14])}
            runs[(transport, streams)][receiver].append(run)
    return runs


def describe(runs):
    """Run count, CPU per stream, frames lost and first frame cells of one side."""
    done = [run for run in runs if run is not None]
    failed = len(runs) - len(done)
    count = str(len(done)) + (" (%d failed)" % failed if failed else "")
    if not done:
        return count, None, "—", "—"
    cpu = statistics.median(run["cpu"] for run in done)
    first = "%s / %s" % (format_ms(statistics.median(run["first"] for run in done)),
                         format_ms(max(run["first_max"] for run in done)))
    return count, cpu, str(sum(run["lost"] for run in done)), first


def format_ms(ms):
    return "none" if math.isinf(ms) else "%.0f ms" % ms


def main():
    runs = read_runs(sys.argv[1])
    print("| transport | streams | runs (driver / GStreamer) | driver CPU per stream | GStreamer CPU per stream |"
          " GStreamer / driver | driver frames lost | GStreamer frames lost |"
          " driver first frame (median / max) | GStreamer first frame (median / max) |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for transport, streams in sorted(runs, key=lambda key: (TRANSPORTS.index(key[0]), key[1])):
        sides = [describe(runs[(transport, streams)][receiver]) for receiver in RECEIVERS]
        (driver_runs, driver_cpu, driver_lost, driver_first), (gst_runs, gst_cpu, gst_lost, gst_first) = sides
        ratio = "%.1f×" % (gst_cpu / driver_cpu) if driver_cpu and gst_cpu is not None else "—"
        cpu = ["—" if value is None else "%.2f %%" % value for value in (driver_cpu, gst_cpu)]
        print("| %s | %d | %s / %s | %s | %s | %s | %s | %s | %s | %s |" % (
            transport, streams, driver_runs, gst_runs, cpu[0], cpu[1], ratio, driver_lost, gst_lost,
            driver_first, gst_first))


if __name__ == "__main__":
    main()
