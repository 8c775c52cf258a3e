#!/usr/bin/env python3
"""Draws every skin image as an SVG into skin/images/.

The SVGs are the committed sources; the build renders them to PNG. Rerun this script after
changing a drawing: python3 skin/art/make_svgs.py
Glyphs are drawn on a 24-unit grid and scaled into their cells; digits are stroked paths, so the
images need no fonts.
"""
import math
import pathlib

OUT = pathlib.Path(__file__).resolve().parent.parent / "images"

# Palette of the dark theme.
ACCENT = "#3DD0EE"
ACCENT_HOT = "#7FE3F6"
ACCENT_DOWN = "#2A9DB5"
ICON = "#C8C8C8"
ICON_HOT = "#FFFFFF"
ICON_DOWN = "#9A9A9A"
ICON_OFF = "#5C5C5C"
RED = "#E5484D"
RED_HOT = "#F26066"
RED_DOWN = "#C23A3F"


def write(name, w, h, body):
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
           f'viewBox="0 0 {w} {h}">\n{body}\n</svg>\n')
    (OUT / f"{name}.svg").write_text(svg, encoding="utf-8")


def at(x, y, body, scale=1.0):
    return f'<g transform="translate({x} {y}) scale({scale})">{body}</g>'


def stroke(d, colour, width=2.0, extra=""):
    return (f'<path d="{d}" fill="none" stroke="{colour}" stroke-width="{width}" '
            f'stroke-linecap="round" stroke-linejoin="round" {extra}/>')


def fill(d, colour, extra=""):
    return f'<path d="{d}" fill="{colour}" {extra}/>'


def rrect(x, y, w, h, r, fill_colour="none", stroke_colour="none", sw=1.0, extra=""):
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" ry="{r}" '
            f'fill="{fill_colour}" stroke="{stroke_colour}" stroke-width="{sw}" {extra}/>')


def circle(cx, cy, r, fill_colour="none", stroke_colour="none", sw=1.0, extra=""):
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{fill_colour}" '
            f'stroke="{stroke_colour}" stroke-width="{sw}" {extra}/>')


# ---- glyphs on a 24 x 24 grid -------------------------------------------------------------

def g_pause(c):
    return rrect(6.5, 5, 3.6, 14, 1.2, c) + rrect(13.9, 5, 3.6, 14, 1.2, c)


def g_play(c):
    return fill("M8 5.2 L19 12 L8 18.8 Z", c, 'stroke="%s" stroke-width="1.6" stroke-linejoin="round"' % c)


def g_stop(c):
    return rrect(6, 6, 12, 12, 2.2, c)


def g_record(c):
    return circle(12, 12, 7, c)


def g_close(c, w=2.0):
    return stroke("M6.5 6.5 L17.5 17.5 M17.5 6.5 L6.5 17.5", c, w)


def g_minimise(c):
    return stroke("M6.5 12.5 H17.5", c, 1.6)


def g_monitor(c, w=1.8):
    return (rrect(2.5, 4, 19, 13, 1.8, "none", c, w) +
            stroke("M9 20.5 H15 M12 17 V20.5", c, w))


def g_speaker(c):
    return (fill("M3.5 9 H7.5 L12.5 4.8 V19.2 L7.5 15 H3.5 Z", c,
                 f'stroke="{c}" stroke-width="1.2" stroke-linejoin="round"') +
            stroke("M15.6 9 Q17.4 12 15.6 15", c, 1.8) +
            stroke("M18.4 6.4 Q22 12 18.4 17.6", c, 1.8))


def g_microphone(c):
    return (rrect(8.6, 2.5, 6.8, 11.5, 3.4, c) +
            stroke("M5.5 11 Q5.5 17.5 12 17.5 Q18.5 17.5 18.5 11 M12 17.5 V21 M8.5 21.2 H15.5", c, 1.8))


def g_camera(c):
    return (rrect(2.5, 6.5, 14, 11, 2.2, "none", c, 1.8) +
            fill("M17 10.5 L21.5 8 V16 L17 13.5 Z", c,
                 f'stroke="{c}" stroke-width="1.4" stroke-linejoin="round"') +
            circle(9.5, 12, 2.4, c))


def gear_path(cx, cy, r_out, r_in, teeth):
    pts = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4) - math.pi / 2
        r = r_out if i % 4 in (1, 2) else r_in
        pts.append(f"{cx + r * math.cos(a):.2f} {cy + r * math.sin(a):.2f}")
    return "M" + " L".join(pts) + " Z"


def g_gear(c):
    return (fill(gear_path(12, 12, 9.6, 7.4, 8), "none",
                 f'stroke="{c}" stroke-width="1.7" stroke-linejoin="round"') +
            circle(12, 12, 3, "none", c, 1.7))


def g_mirror(c):
    return (fill("M10 6 L3.5 17.5 H10 Z", c, f'stroke="{c}" stroke-width="1.2" stroke-linejoin="round"') +
            fill("M14 6 L20.5 17.5 H14 Z", "none", f'stroke="{c}" stroke-width="1.5" stroke-linejoin="round"') +
            stroke("M12 3.5 V20.5", c, 1.2, 'stroke-dasharray="2 2"'))


def g_shape(c):
    return (rrect(3.5, 3.5, 10, 10, 1.5, "none", c, 1.6) + circle(14.5, 14.5, 6, "none", c, 1.6))


def g_format(c):
    return (stroke("M9 7 H20 M9 12 H20 M9 17 H20", c, 1.8) +
            circle(5, 7, 1.4, c) + circle(5, 12, 1.4, c) + circle(5, 17, 1.4, c))


def g_popup_window(c):
    return (stroke("M12 4 H5.5 Q4 4 4 5.5 V18.5 Q4 20 5.5 20 H18.5 Q20 20 20 18.5 V12", c, 1.8) +
            stroke("M14 4 H20 V10 M20 4 L11 13", c, 1.8))


def g_dock(c):
    return stroke("M4 12 H14.5 M10.5 7.5 L15 12 L10.5 16.5 M19.5 5 V19", c, 2.0)


def g_chevron(c, w=1.8):
    return stroke("M7 10 L12 15 L17 10", c, w)


def g_folder(c):
    return fill("M3 6.5 Q3 5 4.5 5 H9.5 L11.5 7.2 H19.5 Q21 7.2 21 8.7 V17.5 Q21 19 19.5 19 H4.5 Q3 19 3 17.5 Z",
                "none", f'stroke="{c}" stroke-width="1.8" stroke-linejoin="round"') + stroke("M3 10 H21", c, 1.5)


def g_trash(c):
    return (stroke("M4.5 6.5 H19.5 M9.5 6.5 V4.5 H14.5 V6.5", c, 1.8) +
            stroke("M6.5 6.5 L7.5 19.5 Q7.6 20.5 8.6 20.5 H15.4 Q16.4 20.5 16.5 19.5 L17.5 6.5", c, 1.8) +
            stroke("M10.2 10 V17 M13.8 10 V17", c, 1.5))


def g_play_circle(c):
    return circle(12, 12, 9, "none", c, 1.8) + fill("M10 8 L16.2 12 L10 16 Z", c,
                                                     f'stroke="{c}" stroke-width="1.2" stroke-linejoin="round"')


def glyph_in(glyph, colour, x, y, size):
    return at(x, y, glyph(colour), size / 24.0)


# ---- digits as stroked paths ----------------------------------------------------------------

# Smooth digits on a 12 x 16 grid (count-down).
SMOOTH_DIGITS = {
    1: "M3.5 4 L6.8 1.2 V14.8",
    2: "M2.2 4.6 C2.2 2.3 4 1 6 1 C8.2 1 9.8 2.5 9.8 4.5 C9.8 7.2 7.2 9 2.2 15 H10",
    3: "M2.6 1.5 H9.4 L5.6 6.4 C8.4 6.4 10.2 8.1 10.2 10.7 C10.2 13.4 8.2 15 5.7 15 C4.1 15 2.9 14.4 2 13.4",
    4: "M7.8 15 V1.2 L1.6 11 H10.6",
    5: "M9.4 1.4 H3.3 L2.7 7.4 C3.7 6.6 4.9 6.2 6.2 6.2 C8.7 6.2 10.3 8 10.3 10.6 C10.3 13.3 8.4 15 5.9 15 C4.3 15 3.1 14.4 2.1 13.4",
}

# Seven segments (a..g) of the LCD digits, lit per digit.
SEGMENTS = {0: "abcdef", 1: "bc", 2: "abged", 3: "abgcd", 4: "fgbc", 5: "afgcd", 6: "afgedc",
            7: "abc", 8: "abcdefg", 9: "abcdfg"}


def segment_polygon(seg, x0):
    l, r, t, m, b, k = x0 + 3.2, x0 + 12.8, 1.6, 11.0, 20.4, 1.15  # k: half thickness
    gap = 0.45

    def horiz(y):
        x1, x2 = l + gap, r - gap
        return [(x1, y), (x1 + k, y - k), (x2 - k, y - k), (x2, y), (x2 - k, y + k), (x1 + k, y + k)]

    def vert(x, y1, y2):
        y1, y2 = y1 + gap, y2 - gap
        return [(x, y1), (x + k, y1 + k), (x + k, y2 - k), (x, y2), (x - k, y2 - k), (x - k, y1 + k)]

    shapes = {"a": horiz(t), "g": horiz(m), "d": horiz(b), "f": vert(l, t, m), "b": vert(r, t, m),
              "e": vert(l, m, b), "c": vert(r, m, b)}
    pts = shapes[seg]
    return "M" + " L".join(f"{x:.2f} {y:.2f}" for x, y in pts) + " Z"


def lcd_digit():
    body = []
    for d in range(10):
        x0 = d * 16
        for seg in "abcdefg":
            lit = seg in SEGMENTS[d]
            body.append(fill(segment_polygon(seg, x0), ACCENT, "" if lit else 'fill-opacity="0.10"'))
    # colon cell
    body.append(rrect(160 + 6.4, 6.2, 3.2, 3.2, 0.8, ACCENT))
    body.append(rrect(160 + 6.4, 13.6, 3.2, 3.2, 0.8, ACCENT))
    write("lcd_digit", 176, 22, "\n".join(body))


def count_down():
    defs = ('<defs><radialGradient id="disc" cx="50%" cy="40%" r="60%">'
            '<stop offset="0" stop-color="#2E3A3D" stop-opacity="0.92"/>'
            '<stop offset="1" stop-color="#161A1B" stop-opacity="0.92"/></radialGradient></defs>')
    body = [defs]
    for i in range(5):
        x0 = i * 160
        body.append(circle(x0 + 80, 80, 74, "url(#disc)", ACCENT, 4))
        body.append(circle(x0 + 80, 80, 66, "none", "#FFFFFF", 1, 'stroke-opacity="0.08"'))
        body.append(at(x0 + 80 - 6 * 5.2, 80 - 8 * 5.2, stroke(SMOOTH_DIGITS[i + 1], "#FFFFFF", 2.1), 5.2))
    write("count_down", 800, 160, "\n".join(body))


# ---- state cells ---------------------------------------------------------------------------

def camera_wnd():
    glyphs = [g_close, g_shape, g_mirror, g_gear, g_format]
    body = []
    for b, glyph in enumerate(glyphs):
        for s in range(3):
            x0 = (b * 3 + s) * 24
            bg = ["#000000", RED if b == 0 else ACCENT_DOWN, RED_DOWN if b == 0 else "#1F7F95"][s]
            op = ["0.55", "1", "1"][s]
            body.append(circle(x0 + 12, 12, 11.3, bg, "#FFFFFF", 0.8,
                               f'fill-opacity="{op}" stroke-opacity="0.35"'))
            colour = ["#F0F0F0", "#FFFFFF", "#D8D8D8"][s]
            body.append(glyph_in(glyph, colour, x0 + 5, 5, 14))
    write("camera_wnd", 360, 24, "\n".join(body))


def radiobox():
    body = [circle(10.5, 10.5, 7.5, "#262626", "#7A7A7A", 1.5),
            circle(31.5, 10.5, 7.5, "#262626", ACCENT, 1.5),
            circle(52.5, 10.5, 7.5, "#262626", ACCENT, 1.5),
            circle(52.5, 10.5, 4, ACCENT)]
    write("radiobox", 63, 21, "\n".join(body))


def checkbox():
    check = "M6.2 10.8 L9.2 13.8 L14.8 7.6"
    body = [rrect(3.25, 3.25, 14.5, 14.5, 3, "#262626", "#7A7A7A", 1.5),
            rrect(24.25, 3.25, 14.5, 14.5, 3, "#262626", ACCENT, 1.5),
            rrect(45.25, 3.25, 14.5, 14.5, 3, ACCENT, ACCENT, 1.5),
            at(42, 0, stroke(check, "#12282D", 2.2))]
    write("checkbox", 63, 21, "\n".join(body))


def tile(x0, state):
    bg = ["#2C2C2C", "#2E3A3D", "#25302F"][state]
    border = ["#444444", ACCENT, ACCENT_DOWN][state]
    return rrect(x0 + 2.5, 2.5, 95, 95, 12, bg, border, 1.5)


def fullscreen():
    body = []
    for s in range(3):
        x0 = s * 100
        body.append(tile(x0, s))
        c = [ICON, ICON_HOT, ICON_DOWN][s]
        body.append(rrect(x0 + 20, 24, 60, 40, 3, "none", c, 2.5))
        body.append(stroke(f"M{x0 + 40} 76 H{x0 + 60} M{x0 + 50} 64 V76", c, 2.5))
        a = [ACCENT, ACCENT_HOT, ACCENT_DOWN][s]
        for (px, py, dx, dy) in [(27, 31, 1, 1), (73, 31, -1, 1), (27, 57, 1, -1), (73, 57, -1, -1)]:
            body.append(stroke(f"M{x0 + px} {py + 7 * dy} V{py} H{x0 + px + 7 * dx}", a, 2.5))
    write("fullscreen", 300, 100, "\n".join(body))


def region():
    body = []
    for s in range(3):
        x0 = s * 100
        body.append(tile(x0, s))
        c = [ICON, ICON_HOT, ICON_DOWN][s]
        a = [ACCENT, ACCENT_HOT, ACCENT_DOWN][s]
        body.append(rrect(x0 + 20, 24, 60, 40, 3, "none", c, 2.5))
        body.append(stroke(f"M{x0 + 40} 76 H{x0 + 60} M{x0 + 50} 64 V76", c, 2.5))
        body.append(rrect(x0 + 29, 31, 28, 20, 1, a, a, 2, 'fill-opacity="0.18" stroke-dasharray="4 3"'))
        body.append(stroke(f"M{x0 + 64} 49 V61 M{x0 + 58} 55 H{x0 + 70}", a, 2.2))
    write("region", 300, 100, "\n".join(body))


def big_button(name, glyph, fills, glyph_colours, border=None):
    body = ['<defs><linearGradient id="shine" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#FFFFFF" stop-opacity="0.16"/>'
            '<stop offset="0.5" stop-color="#FFFFFF" stop-opacity="0"/></linearGradient></defs>']
    for s in range(4):
        x0 = s * 136
        sc = border[s] if border else "none"
        body.append(rrect(x0 + 4, 4, 128, 48, 24, fills[s], sc, 2))
        if s < 3:
            body.append(rrect(x0 + 4, 4, 128, 48, 24, "url(#shine)"))
        body.append(glyph_in(glyph, glyph_colours[s], x0 + 68 - 14, 28 - 14, 28))
    write(name, 544, 56, "\n".join(body))


def record_buttons():
    big_button("start", g_record, [RED, RED_HOT, RED_DOWN, "#3A3A3A"],
               ["#FFFFFF", "#FFFFFF", "#F0D0D0", "#5C5C5C"])
    dark = ["#383838", "#424242", "#303030", "#333333"]
    big_button("stop", g_stop, dark, [RED, RED_HOT, RED_DOWN, "#5C5C5C"],
               [RED, RED_HOT, RED_DOWN, "#444444"])
    big_button("pause", g_pause, dark, ["#F0F0F0", "#FFFFFF", "#C8C8C8", "#5C5C5C"],
               ["#5A5A5A", ACCENT, ACCENT_DOWN, "#444444"])
    big_button("continue", g_play, [ACCENT_DOWN, "#33B6D1", "#23859A", "#3A3A3A"],
               ["#FFFFFF", "#FFFFFF", "#DDEFF3", "#5C5C5C"])


def float_button(name, glyph, colours):
    body = []
    for s in range(3):
        x0 = s * 32
        if s == 1:
            body.append(circle(x0 + 16, 16, 15, "#FFFFFF", extra='fill-opacity="0.10"'))
        if s == 2:
            body.append(circle(x0 + 16, 16, 15, "#000000", extra='fill-opacity="0.30"'))
        body.append(glyph_in(glyph, colours[s], x0 + 5, 5, 22))
    write(name, 96, 32, "\n".join(body))


def float_buttons():
    float_button("float_pause", g_pause, [ICON, ICON_HOT, ACCENT])
    float_button("float_continue", g_play, [ACCENT, ACCENT_HOT, ACCENT_DOWN])
    float_button("float_stop", g_stop, [RED, RED_HOT, RED_DOWN])
    float_button("float_pop_main_wnd", g_popup_window, [ICON, ICON_HOT, ACCENT])
    body = []
    for s in range(3):
        body.append(glyph_in(g_dock, [ICON, ICON_HOT, ACCENT][s], s * 18 + 0.5, 1, 17))
    write("float_hide", 54, 19, "\n".join(body))


def float_wnd():
    body = [rrect(0.5, 8.5, 199, 49, 15.5, "#303030", "#505050", 1)]
    write("float_wnd", 200, 66, "\n".join(body))


def tray_wnd():
    body = ['<defs><filter id="shadow" x="-20%" y="-20%" width="140%" height="140%">'
            '<feGaussianBlur stdDeviation="12"/></filter>'
            '<clipPath id="card"><rect x="280" y="176" width="400" height="240" rx="10"/></clipPath></defs>',
            '<rect width="960" height="593" fill="#000000" fill-opacity="0.55"/>',
            rrect(282, 184, 396, 236, 12, "#000000", extra='fill-opacity="0.6" filter="url(#shadow)"'),
            rrect(280, 176, 400, 240, 10, "#2A2A2A"),
            f'<g clip-path="url(#card)"><rect x="280" y="176" width="400" height="44" fill="#232323"/>'
            f'<rect x="280" y="352" width="400" height="64" fill="#252525"/></g>',
            '<rect x="280" y="220" width="400" height="1" fill="#3A3A3A"/>',
            '<rect x="280" y="352" width="400" height="1" fill="#363636"/>',
            rrect(280.5, 176.5, 399, 239, 10, "none", "#4A4A4A", 1),
            rrect(296, 190, 4, 16, 2, ACCENT)]
    write("trayWnd", 960, 593, "\n".join(body))


def sel_close():
    write("selclose", 20, 20, circle(10, 10, 9, "#505050", "#A0A0A0", 1) +
          at(2, 2, g_close("#FFFFFF", 2.4), 16 / 24))


def device_icons():
    # (glyph, size, left offset, top offset) chosen so that each glyph stays inside its 15-pixel cell
    for name, glyph, size, dx, dy in (("microphone", g_microphone, 19, -2, 2), ("speaker", g_speaker, 16, 0, 3.5)):
        body = [glyph_in(glyph, ICON_OFF, dx, dy, size), glyph_in(glyph, ICON, 15 + dx, dy, size)]
        write(name, 30, 23, "\n".join(body))


def file_buttons():
    colours = ["#B0B0B0", ACCENT, ACCENT_DOWN]
    write("play", 60, 24, "\n".join(glyph_in(g_play_circle, colours[s], s * 20 + 1, 3, 18) for s in range(3)))
    write("open", 75, 20, "\n".join(glyph_in(g_folder, colours[s], s * 25 + 3.5, 1, 18) for s in range(3)))
    write("delete", 69, 23, "\n".join(glyph_in(g_trash, colours[s], s * 23 + 2.5, 2.5, 18) for s in range(3)))


def tabs():
    for name, glyph in (("tab_desktop", g_monitor), ("tab_sound", g_microphone),
                        ("tab_camera", g_camera), ("tab_setting", g_gear)):
        body = []
        for s in range(4):
            x0 = s * 150
            if s == 1:
                body.append(rrect(x0 + 8, 4, 134, 44, 8, "#FFFFFF", extra='fill-opacity="0.05"'))
            if s == 2:
                body.append(rrect(x0 + 8, 4, 134, 44, 8, "#3DD0EE", extra='fill-opacity="0.12"'))
                body.append(rrect(x0 + 0, 14, 4, 24, 2, ACCENT))
            colour = ["#9A9A9A", "#E6E6E6", ACCENT, "#4E4E4E"][s]
            body.append(glyph_in(glyph, colour, x0 + 24, 14, 24))
        write(name, 600, 52, "\n".join(body))


def logo():
    body = ['<defs><linearGradient id="lg" x1="0" y1="0" x2="1" y2="1">'
            f'<stop offset="0" stop-color="{ACCENT}"/><stop offset="1" stop-color="#2468C8"/>'
            '</linearGradient></defs>',
            rrect(1, 1, 26, 26, 7, "url(#lg)"),
            circle(14, 14, 7.5, "none", "#FFFFFF", 2.2),
            circle(14, 14, 3.6, "#FFFFFF")]
    write("logo", 28, 28, "\n".join(body))


def system_buttons():
    for name, glyph in (("sys_min", g_minimise), ("sys_close", g_close)):
        body = []
        for s in range(3):
            x0 = s * 46
            if name == "sys_close" and s > 0:
                body.append(f'<rect x="{x0}" y="0" width="46" height="48" fill="{[RED, RED_DOWN][s - 1]}"/>')
            elif s > 0:
                op = ["0.08", "0.04"][s - 1]
                body.append(f'<rect x="{x0}" y="0" width="46" height="48" fill="#FFFFFF" fill-opacity="{op}"/>')
            colour = ["#C8C8C8", "#FFFFFF", "#E0E0E0"][s]
            body.append(at(x0 + 15, 16, (g_close(colour, 1.5) if name == "sys_close" else g_minimise(colour)),
                           16 / 24))
        write(name, 138, 48, "\n".join(body))
    body = []
    for s in range(3):
        x0 = s * 32
        if s:
            body.append(circle(x0 + 16, 16, 14, "#FFFFFF", extra=f'fill-opacity="{["0.10", "0.05"][s - 1]}"'))
        body.append(at(x0 + 8, 8, g_close([ICON, ICON_HOT, ACCENT][s], 1.8), 16 / 24))
    write("msg_close", 96, 32, "\n".join(body))


def small_controls():
    body = []
    for s in range(4):
        x0 = s * 24
        if s == 1:
            body.append(rrect(x0 + 1, 1, 22, 22, 5, "#FFFFFF", extra='fill-opacity="0.08"'))
        if s == 2:
            body.append(rrect(x0 + 1, 1, 22, 22, 5, ACCENT, extra='fill-opacity="0.18"'))
        body.append(glyph_in(g_chevron, ["#A8A8A8", ICON_HOT, ACCENT, "#4E4E4E"][s], x0 + 2, 2, 20))
    write("list_btn", 96, 24, "\n".join(body))
    write("combo_arrow", 64, 16, "\n".join(
        glyph_in(g_chevron, ["#A8A8A8", ICON_HOT, ACCENT, "#4E4E4E"][s], s * 16, 0, 16) for s in range(4)))
    for name, fills, borders in (
            ("button", ["#383838", "#434343", "#2E2E2E", "#2C2C2C"], ["#555555", "#6A6A6A", ACCENT_DOWN, "#3A3A3A"]),
            ("button_primary", [ACCENT_DOWN, "#33B6D1", "#23859A", "#2E4A50"],
             ["#33B6D1", "#5FCCE2", "#23859A", "#2E4A50"])):
        write(name, 256, 30, "\n".join(rrect(s * 64 + 0.5, 0.5, 63, 29, 5, fills[s], borders[s], 1)
                                      for s in range(4)))
    write("slider_bk", 40, 28, rrect(0, 12, 40, 4, 2, "#4A4A4A"))
    write("slider_fore", 40, 28, rrect(0, 12, 40, 4, 2, ACCENT))
    write("slider_thumb", 42, 14, "\n".join([
        circle(7, 7, 6, "#E8E8E8", "#1E1E1E", 1),
        circle(21, 7, 6, "#FFFFFF", ACCENT, 2),
        circle(35, 7, 6, ACCENT, "#FFFFFF", 2)]))
    write("card", 32, 32, rrect(0.5, 0.5, 31, 31, 8, "#2A2A2A", "#363636", 1))


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    lcd_digit()
    count_down()
    camera_wnd()
    radiobox()
    checkbox()
    fullscreen()
    region()
    record_buttons()
    float_buttons()
    float_wnd()
    tray_wnd()
    sel_close()
    device_icons()
    file_buttons()
    tabs()
    logo()
    system_buttons()
    small_controls()


if __name__ == "__main__":
    main()
