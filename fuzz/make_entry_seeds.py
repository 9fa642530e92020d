#!/usr/bin/env python3
"""Writes the entry fuzzer's seed corpus: whole runs as a host makes them,
encoded in the fuzzer's input format (see entry_fuzzer.cpp).

    fuzz/make_entry_seeds.py fuzz/corpus/entry
"""
import struct
import sys
from pathlib import Path

# Call kinds (the fuzzer's kind byte modulo 8).
VERSION, INIT, STEP, ITERATION, CONVERGED, END, ARBITRARY, SCRAMBLED = range(8)
# Unit byte: 0, 1, 2 select units 1, 2, 3.
# Time byte: k < 16 is start + k steps; 128, 129, 130 are start + half a step,
# just below it and just above it; 160 + i is the i-th special value.
HALF, BELOW_HALF, ABOVE_HALF = 128, 129, 130
NAN_TIME = 160
# Change slots: parameters 0-7, inputs 8-14.  Value byte: < 128 a special
# value (0 NaN, 1 inf, 2 -inf, 3 zero, ...), 192 then 8 raw bytes.
NODE_COUNT, THICKNESS, CONDUCTIVITY = 5, 6, 0
LEFT_FILM, RIGHT_FILM, LEFT_FLUX = 10, 13, 11
ZERO = 3
NAN = 0


def raw(x):
    return bytes([192]) + struct.pack("<d", x)


def node_count(n):
    """The node-count byte for a count of 1 to 12 nodes, or a raw value."""
    if isinstance(n, int) and 1 <= n <= 12:
        return bytes([n - 1])
    return bytes([192]) + struct.pack("<d", n)


def call(kind, unit=0, time=0, changes=(), info=b"", tail=b""):
    """One call; info holds the three info bytes of an arbitrary kind, tail
    the type number and the host's other info elements of a scrambled one."""
    out = bytes([kind, unit]) + info + bytes([time, len(changes)])
    for slot, value in changes:
        out += bytes([slot]) + value
    return out + tail


def run(times=0, *calls):
    return bytes([times]) + b"".join(calls)


def whole_run(unit=0, steps=4, times=0, changes=()):
    calls = [call(VERSION, unit), call(INIT, unit, 0, changes)]
    for k in range(steps + 1):
        calls += [call(STEP, unit, k), call(ITERATION, unit, k), call(CONVERGED, unit, k)]
    calls.append(call(END, unit, steps))
    return run(times, *calls)


SEEDS = {
    # The worked example through a short run: 0.25 h steps.
    "worked_example": whole_run(),
    # One-hour steps, and one-minute steps.
    "hour_steps": whole_run(times=1),
    "minute_steps": whole_run(times=2, steps=6),
    # Two nodes: no inner nodes.
    "two_nodes": whole_run(changes=[(NODE_COUNT, node_count(2))]),
    # One node: never advances.
    "one_node": whole_run(changes=[(NODE_COUNT, node_count(1))]),
    # A fractional count is truncated: 5.7 gives 5.
    "fractional_nodes": whole_run(changes=[(NODE_COUNT, node_count(5.7))]),
    # Counts that are refused, then time steps without a layer.
    "no_nodes": whole_run(changes=[(NODE_COUNT, node_count(0.0))]),
    "nan_nodes": whole_run(changes=[(NODE_COUNT, node_count(float("nan")))]),
    "huge_nodes": whole_run(changes=[(NODE_COUNT, node_count(2.0**31))]),
    # Two units side by side, interleaved, with different layers.
    "two_units": run(
        0,
        call(VERSION, 0), call(VERSION, 1),
        call(INIT, 0), call(INIT, 1, 0, [(NODE_COUNT, node_count(3))]),
        call(STEP, 0, 0), call(STEP, 1, 0),
        call(STEP, 0, 1), call(STEP, 1, 1), call(CONVERGED, 0, 1), call(CONVERGED, 1, 1),
        call(STEP, 0, 2), call(STEP, 1, 2),
        call(END, 0, 2), call(STEP, 1, 3), call(END, 1, 3)),
    # Around the first half step.
    "half_step": run(
        0, call(INIT), call(STEP, 0, 0), call(STEP, 0, BELOW_HALF), call(STEP, 0, HALF),
        call(STEP, 0, ABOVE_HALF), call(STEP, 0, NAN_TIME), call(END)),
    # Parameter 6 changes after initialization; then a new initialization.
    "node_count_changes": run(
        0, call(INIT), call(STEP, 0, 1), call(STEP, 0, 2, [(NODE_COUNT, node_count(3))]),
        call(STEP, 0, 3), call(INIT, 0, 3), call(STEP, 0, 4), call(END, 0, 4)),
    # Sub-step counts of 0: no thickness; no conduction and no films.
    "zero_thickness": whole_run(changes=[(THICKNESS, bytes([ZERO]))]),
    "no_conduction": whole_run(
        changes=[(CONDUCTIVITY, bytes([ZERO])), (LEFT_FILM, bytes([ZERO])), (RIGHT_FILM, bytes([ZERO]))]),
    # NaN inputs in the middle of a run.
    "nan_flux": run(
        0, call(INIT), call(STEP, 0, 1), call(STEP, 0, 2, [(LEFT_FLUX, bytes([NAN]))]), call(STEP, 0, 3), call(END)),
    # Calls after the end of the run, and an end with info(13) > 0.
    "after_end": run(
        0, call(INIT), call(STEP, 0, 1), call(END | 8, 0, 1), call(STEP, 0, 2), call(END, 0, 2), call(END, 0, 3)),
    # A host that fills the rest of info with its own values.
    "scrambled_info": run(
        0, call(SCRAMBLED, 0, 1, info=bytes([2, 2, 2]), tail=bytes(range(44))), call(INIT), call(STEP, 0, 1), call(END)),
}


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent / "corpus" / "entry")
    out.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (out / name).write_bytes(data)


if __name__ == "__main__":
    main()
