#!/usr/bin/env python3
"""count_pictures.py FILE: counts the distinct pictures of `vexa-test-motion --numbered` in a recording.

Decodes FILE with ffmpeg, reads the bar code in the band at the top and the one at the bottom of every
picture (layout in tools/test-motion/main.cpp), and prints one line of key=value pairs:
  written   pictures in the file
  distinct  distinct picture numbers read
  first, last, span   the lowest and highest number read, and last - first + 1
  missing   numbers in the span never seen (source pictures the recorder did not keep)
  repeated  pictures whose number was already seen (duplicates written)
  torn      pictures whose top and bottom numbers differ (grabbed while being painted)
  unreadable pictures with a band that does not read (a damaged or half-drawn code)
"""
import json
import subprocess
import sys
import tempfile

CELLS = 20
BAND = 32


def probe_size(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height",
         "-of", "json", path], check=True, capture_output=True, text=True).stdout
    s = json.loads(out)["streams"][0]
    return s["width"], s["height"]


def read_code(row, width):
    """The number in one band's middle row, or None when the markers or the parity do not hold."""
    cell = width // CELLS
    bits = []
    for i in range(CELLS):
        lo, hi = i * cell + cell // 4, i * cell + 3 * cell // 4
        bits.append(1 if sum(row[lo:hi]) / (hi - lo) >= 128 else 0)
    if bits[0] != 1 or bits[1] != 0 or bits[19] != 0:
        return None
    number = 0
    for b in bits[2:18]:
        number = number * 2 + b
    if sum(bits[2:18]) % 2 != bits[18]:
        return None
    return number


def main():
    if len(sys.argv) != 2:
        print("usage: count_pictures.py FILE", file=sys.stderr)
        return 2
    path = sys.argv[1]
    width, height = probe_size(path)
    mid_top, mid_bottom = BAND // 2, height - BAND // 2
    graph = (f"[0:v]format=gray,split[a][b];[a]crop={width}:1:0:{mid_top}[t];[b]crop={width}:1:0:{mid_bottom}[u];"
             "[t][u]vstack")
    log = tempfile.TemporaryFile()  # a file, not a pipe: a full pipe would stop the decoder
    proc = subprocess.Popen(
        ["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-filter_complex", graph, "-fps_mode", "passthrough",
         "-f", "rawvideo", "-"], stdout=subprocess.PIPE, stderr=log)
    seen = set()
    written = repeated = torn = unreadable = 0
    while True:
        picture = proc.stdout.read(2 * width)
        if len(picture) < 2 * width:
            break
        written += 1
        top, bottom = read_code(picture[:width], width), read_code(picture[width:], width)
        if top is None or bottom is None:
            unreadable += 1
            continue
        if top != bottom:
            torn += 1
        if top in seen:
            repeated += 1
        seen.add(top)
    if proc.wait() != 0:
        log.seek(0)
        errors = log.read().decode(errors="replace")
        print(f"count_pictures: ffmpeg cannot decode {path}: {errors.strip()[-500:]}", file=sys.stderr)
        return 1
    first, last = (min(seen), max(seen)) if seen else (0, -1)
    span = last - first + 1
    print(f"written={written} distinct={len(seen)} first={first} last={last} span={span} "
          f"missing={span - len(seen)} repeated={repeated} torn={torn} unreadable={unreadable}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
