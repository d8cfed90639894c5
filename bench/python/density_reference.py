#!/usr/bin/python3
"""The work of bench/density_bench.cpp done with numpy, scipy and contourpy,
for a side-by-side comparison on the same machine:

    /usr/bin/python3 bench/python/density_reference.py
"""
import time

import numpy as np
from scipy.ndimage import gaussian_filter1d, map_coordinates
import contourpy

CANDIDATES = []
for k in range(20):
    m = int(np.floor(np.exp(k * 2.7725888 / 19 + 3.4657359) + 0.5))
    if not CANDIDATES or CANDIDATES[-1] != m:
        CANDIDATES.append(m)


def make_events(n):
    rng = np.random.default_rng(12345)
    second = (np.arange(n) % 4) == 3
    x = np.where(second, rng.lognormal(np.log(110.0), 0.2, n), rng.lognormal(np.log(60.0), 0.25, n))
    y = np.where(second, rng.gamma(2.0, 0.012, n), rng.gamma(4.0, 0.005, n))
    return x, y


def optimal_bin_count(x, y):
    n = x.size
    xmin, ymin = x.min(), y.min()
    rx = (x.max() - xmin) or 1.0
    ry = (y.max() - ymin) or 1.0
    ox, oy = x - xmin, y - ymin
    best, best_cost = CANDIDATES[0], np.inf
    for m in CANDIDATES:
        hx, hy = rx / m, ry / m
        i = np.minimum((ox / hx).astype(np.int64), m - 1)
        j = np.minimum((oy / hy).astype(np.int64), m - 1)
        counts = np.bincount(j * m + i, minlength=m * m)
        mean = n / (m * m)
        s = np.sum((counts - mean) ** 2)
        cost = (2 * mean - s / (m * m)) / (hx * hy) ** 2
        if cost < best_cost:
            best, best_cost = m, cost
    return best


def bandwidth(v):
    q25, q75 = np.percentile(v, [25, 75])
    sd = v.std()
    iqr = q75 - q25
    sigma = min(iqr / 1.34, sd) if iqr > 0 else sd
    h = sigma * v.size ** (-1 / 6)
    return h if h > 0 else 1.0


def kde_grid(x, y, g=0):
    if g < 1:
        g = optimal_bin_count(x, y)
    hx, hy = bandwidth(x), bandwidth(y)
    x0, y0 = x.min() - 3 * hx, y.min() - 3 * hy
    dx = (x.max() + 3 * hx - x0) / g
    dy = (y.max() + 3 * hy - y0) / g
    i = np.clip(((x - x0) / dx).astype(np.int64), 0, g - 1)
    j = np.clip(((y - y0) / dy).astype(np.int64), 0, g - 1)
    counts = np.bincount(j * g + i, minlength=g * g).reshape(g, g).astype(float)
    sm = gaussian_filter1d(counts, hx / dx, axis=1, mode="constant", truncate=4.0)
    sm = gaussian_filter1d(sm, hy / dy, axis=0, mode="constant", truncate=4.0)
    return sm, x0, y0, dx, dy


def kernel_point_density(x, y):
    grid, x0, y0, dx, dy = kde_grid(x, y)
    fx = (x - x0) / dx - 0.5
    fy = (y - y0) / dy - 0.5
    return map_coordinates(grid, [fy, fx], order=1, mode="nearest")


def best_of(fn, repeat):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times) * 1e3


def main():
    x, y = make_events(1_000_000)
    print(f"grid size chosen: {optimal_bin_count(x, y)}")
    print(f"kernel point density, 10^6 points: {best_of(lambda: kernel_point_density(x, y), 5):8.1f} ms")
    print(f"optimal bin count, 10^6 points:    {best_of(lambda: optimal_bin_count(x, y), 5):8.1f} ms")

    grid, x0, y0, dx, dy = kde_grid(x, y, 512)
    g = grid.shape[0]
    fx = (x - x0) / dx - 0.5
    fy = (y - y0) / dy - 0.5
    density = map_coordinates(grid, [fy, fx], order=1, mode="nearest")
    cx = x0 + (np.arange(g) + 0.5) * dx
    cy = y0 + (np.arange(g) + 0.5) * dy

    def levels():
        n = density.size
        return [np.partition(density, min(n - 1, int(n * f)))[min(n - 1, int(n * f))] for f in (0.5, 0.9)]

    lv = levels()

    def trace():
        gen = contourpy.contour_generator(cx, cy, grid)
        return [gen.lines(level) for level in lv]

    def contours_from_grid():
        gen = contourpy.contour_generator(cx, cy, grid)
        return [gen.lines(level) for level in levels()]

    print(f"contourpy lines, 2 levels, 512 grid:       {best_of(trace, 20):8.2f} ms")
    print(f"levels + contourpy lines, 2 fractions:     {best_of(contours_from_grid, 10):8.2f} ms")

    grid128, x0, y0, dx, dy = kde_grid(x, y, 128)
    cx = x0 + (np.arange(128) + 0.5) * dx
    cy = y0 + (np.arange(128) + 0.5) * dy

    def trace128():
        gen = contourpy.contour_generator(cx, cy, grid128)
        return [gen.lines(level) for level in lv]

    print(f"contourpy lines, 2 levels, 128 grid:       {best_of(trace128, 50):8.2f} ms")


if __name__ == "__main__":
    main()
