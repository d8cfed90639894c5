"""The work of filter_bench with numpy boolean masks and matplotlib's
Path.contains_points, on data drawn from the same distributions.

Run with the system interpreter: /usr/bin/python3 bench/filter_numpy.py
"""
import timeit

import numpy as np
from matplotlib.path import Path

n = 1_000_000
rng = np.random.default_rng(2024)
area = rng.uniform(20.0, 200.0, n)
deform = rng.uniform(0.0, 0.2, n)
bright = rng.uniform(80.0, 160.0, n)
angles = 2.0 * np.pi * np.arange(8) / 8.0
gate = Path(np.column_stack([110.0 + 70.0 * np.cos(angles), 0.1 + 0.08 * np.sin(angles)]),
            closed=False)


def masks_then_gate():
    mask = (area >= 30.0) & (area <= 180.0)
    mask &= (deform >= 0.01) & (deform <= 0.18)
    mask &= (bright >= 90.0) & (bright <= 150.0)
    mask &= gate.contains_points(np.column_stack([area, deform]))
    return np.flatnonzero(mask)


def masks_then_gate_on_survivors():
    mask = (area >= 30.0) & (area <= 180.0)
    mask &= (deform >= 0.01) & (deform <= 0.18)
    mask &= (bright >= 90.0) & (bright <= 150.0)
    idx = np.flatnonzero(mask)
    return idx[gate.contains_points(np.column_stack([area[idx], deform[idx]]))]


log_gate = Path(np.log(gate.vertices), closed=False)


def masks_then_log_gate():
    # A gate drawn on log axes: natural logarithm, values <= 0 at the place of 1.
    mask = (area >= 30.0) & (area <= 180.0)
    mask &= (deform >= 0.01) & (deform <= 0.18)
    mask &= (bright >= 90.0) & (bright <= 150.0)
    with np.errstate(divide="ignore", invalid="ignore"):
        tx = np.where(area > 0, np.log(area), 0.0)
        ty = np.where(deform > 0, np.log(deform), 0.0)
    mask &= log_gate.contains_points(np.column_stack([tx, ty]))
    return np.flatnonzero(mask)


def gate_only():
    return np.flatnonzero(gate.contains_points(np.column_stack([area, deform])))


for name, fn in [("ranges + gate over all events", masks_then_gate),
                 ("ranges, then gate on survivors", masks_then_gate_on_survivors),
                 ("ranges + gate on log axes", masks_then_log_gate),
                 ("gate only", gate_only)]:
    runs = timeit.repeat(fn, number=1, repeat=15)
    print(f"{name:34s} best {min(runs) * 1e3:7.2f} ms  median {sorted(runs)[7] * 1e3:7.2f} ms"
          f"  kept {len(fn())}")
