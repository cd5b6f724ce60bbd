#!/usr/bin/env python3
"""Generates the client's artwork under resources/wid/res from the drawings below.

One flat style: 2-pixel strokes with round caps on a 1-pixel grid (crisp at
100 % and 125 %), the action colour rgb(1,149,255), white on the blue side bar,
grey turning blue on hover in the head bar. Each drawing is an SVG fragment;
rsvg-convert (Debian librsvg2-bin) renders it to the PNG the style sheets use.

    python3 resources/wid/res/src/artwork.py      # rewrites every PNG
"""
import os
import random
import subprocess
import tempfile

BLUE = "rgb(1,149,255)"
GREY = "rgb(130,130,130)"
LIGHT = "rgb(220,220,220)"
ALERT = "rgb(245,106,83)"
CJK = "Noto Sans CJK SC"
OUT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))


def svg(width, height, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">{body}</svg>')


def stroke(colour, width=2, opacity=1.0):
    return (f'fill="none" stroke="{colour}" stroke-width="{width}" stroke-linecap="round" '
            f'stroke-linejoin="round" stroke-opacity="{opacity}"')


def render(path, width, height, body):
    target = os.path.join(OUT, path)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with tempfile.NamedTemporaryFile("w", suffix=".svg", delete=False) as f:
        f.write(svg(width, height, body))
        source = f.name
    try:
        subprocess.run(["rsvg-convert", "-w", str(width), "-h", str(height), "-o", target, source], check=True)
    finally:
        os.unlink(source)
    print(path)


# --- Side bar: 28-pixel icons drawn in a 28 x 28 box ------------------------
SIDE_ICONS = {
    "home": '<path d="M3 13 L14 4 L25 13"/><path d="M6 11 V24 H22 V11"/><path d="M11 24 V17 H17 V24"/>',
    "project": '<path d="M3 10 V6 A2 2 0 0 1 5 4 H23 A2 2 0 0 1 25 6 V18 A2 2 0 0 1 23 20 H15"/>'
               '<path d="M10 25 H18"/><path d="M3 14 A6 6 0 0 1 9 20"/><path d="M3 17.5 A2.5 2.5 0 0 1 5.5 20"/>',
    "print": '<path d="M8 10 V4 H20 V10"/><rect x="3" y="10" width="22" height="10" rx="2"/>'
             '<path d="M8 16 H20 V25 H8 Z"/><path d="M11 20 H17"/>',
    "mail": '<rect x="3" y="6" width="22" height="16" rx="2"/><path d="M4 8 L14 15 L24 8"/>',
    "meeting": '<rect x="2" y="7" width="17" height="14" rx="2"/><path d="M19 12 L26 8 V20 L19 16"/>',
}
SIDE_CAPTIONS = {"home": "首页", "project": "投屏", "print": "打印", "mail": "邮件", "meeting": "会议"}


def side_button(name, on):
    # Off is the same drawing, faded as a whole so crossing strokes stay even.
    opacity = 1.0 if on else 0.72
    body = (f'<g opacity="{opacity}"><g transform="translate(26 14)" {stroke("white")}>{SIDE_ICONS[name]}</g>'
            f'<text x="40" y="63" text-anchor="middle" font-family="{CJK}" font-size="12" '
            f'fill="white">{SIDE_CAPTIONS[name]}</text></g>')
    render(f"side/{name}_{'on' if on else 'off'}.png", 80, 80, body)


# --- Head bar: 20 x 20 buttons ---------------------------------------------
HEAD_ICONS = {
    "set": None,  # filled gear, see gear()
    "msg": '<path d="M5 14 V9 A5 5 0 0 1 15 9 V14 L17 16 H3 Z"/><path d="M8 18 H12"/>',
    "min": '<path d="M4 10 H16"/>',
    "max": '<rect x="4" y="4" width="12" height="12" rx="1"/>',
    "restore": '<rect x="3" y="7" width="10" height="10" rx="1"/><path d="M7 7 V3 H17 V13 H13"/>',
    "close": '<path d="M5 5 L15 15 M15 5 L5 15"/>',
}


def gear(colour):
    """Eight square-ended teeth around a ring with a round hole, filled."""
    import math
    points = []
    for i in range(8):
        centre = i * math.pi / 4
        for angle, radius in ((centre - 0.2, 9), (centre + 0.2, 9), (centre + 0.3, 7), (centre + math.pi / 4 - 0.3, 7)):
            points.append(f"{10 + radius * math.cos(angle):.2f} {10 + radius * math.sin(angle):.2f}")
    outline = "M" + " L".join(points) + " Z"
    hole = "M10 7.2 A2.8 2.8 0 1 0 10 12.8 A2.8 2.8 0 1 0 10 7.2 Z"
    return f'<path fill-rule="evenodd" fill="{colour}" d="{outline} {hole}"/>'


def head_button(name, on):
    colour = (ALERT if name == "close" else BLUE) if on else GREY
    drawing = gear(colour) if name == "set" else f'<g {stroke(colour)}>{HEAD_ICONS[name]}</g>'
    render(f"head/{name}_{'on' if on else 'off'}.png", 20, 20, drawing)


# --- The mark: a V of two strokes, the right one rising higher -------------
def mark(size, colour):
    s = size / 32.0
    return (f'<g transform="scale({s})" {stroke(colour, 4)}>'
            f'<path d="M7 9 L15 24 L25 6"/></g>')


def logo():
    body = (f'<rect x="8" y="8" width="240" height="240" rx="52" fill="{BLUE}"/>'
            f'<g transform="translate(48 48)">{mark(160, "white")}</g>')
    render("logo.png", 256, 256, body)
    render("head/title.png", 60, 60,
           f'<rect x="14" y="14" width="32" height="32" rx="7" fill="{BLUE}"/>'
           f'<g transform="translate(18 18)">{mark(24, "white")}</g>')
    render("head/line.png", 10, 30, f'<path d="M5.5 4 V26" stroke="{LIGHT}" stroke-width="1"/>')
    render("login/logo_login.png", 130, 80,
           f'<rect x="45" y="2" width="40" height="40" rx="9" fill="{BLUE}"/>'
           f'<g transform="translate(50 7)">{mark(30, "white")}</g>'
           f'<text x="65" y="70" text-anchor="middle" font-family="Noto Sans, DejaVu Sans" font-size="20" '
           f'font-weight="bold" fill="{BLUE}">Vantelor</text>')


# --- Sign-in pictures -------------------------------------------------------
def ring_mask(path, size, outside, ring):
    r = size / 2.0
    body = (f'<path fill-rule="evenodd" fill="{outside}" d="M0 0 H{size} V{size} H0 Z '
            f'M{r} {r - (r - 1)} A{r - 1} {r - 1} 0 1 0 {r} {r + (r - 1)} A{r - 1} {r - 1} 0 1 0 {r} {r - (r - 1)} Z"/>'
            f'<circle cx="{r}" cy="{r}" r="{r - 1.5}" fill="none" stroke="{ring}" stroke-width="2"/>')
    render(path, size, size, body)


def unlogin():
    body = ('<rect width="100" height="100" fill="rgb(226,241,255)"/>'
            f'<circle cx="50" cy="38" r="17" fill="{BLUE}" fill-opacity="0.85"/>'
            f'<path d="M16 96 C18 70 34 60 50 60 C66 60 82 70 84 96 Z" fill="{BLUE}" fill-opacity="0.85"/>')
    render("login/unLogin.png", 100, 100, body)


def qrcode():
    rng = random.Random(7)
    cells = []
    n, cell, margin = 25, 5, 12
    finder = lambda x, y: (x < 8 and y < 8) or (x >= n - 8 and y < 8) or (x < 8 and y >= n - 8)
    for y in range(n):
        for x in range(n):
            if not finder(x, y) and rng.random() < 0.45:
                cells.append(f'<rect x="{margin + x * cell}" y="{margin + y * cell}" width="{cell}" height="{cell}"/>')
    for fx, fy in ((0, 0), (n - 7, 0), (0, n - 7)):
        x, y = margin + fx * cell, margin + fy * cell
        cells.append(f'<rect x="{x}" y="{y}" width="35" height="35"/>'
                     f'<rect x="{x + 5}" y="{y + 5}" width="25" height="25" fill="white"/>'
                     f'<rect x="{x + 10}" y="{y + 10}" width="15" height="15"/>')
    body = f'<rect width="150" height="150" fill="white"/><g fill="rgb(50,50,50)">{"".join(cells)}</g>'
    render("login/QRcode.png", 150, 150, body)


def close_cross(path, size, colour, box=None):
    w, h = box or (size, size)
    x0, y0 = (w - size) / 2, (h - size) / 2
    body = (f'<g transform="translate({x0} {y0})" {stroke(colour, 2)}>'
            f'<path d="M2 2 L{size - 2} {size - 2} M{size - 2} 2 L2 {size - 2}"/></g>')
    render(path, w, h, body)


def main():
    for name in SIDE_ICONS:
        side_button(name, False)
        side_button(name, True)
    for name in HEAD_ICONS:
        head_button(name, False)
        head_button(name, True)
    logo()
    ring_mask("login/userHeadMask.png", 40, BLUE, "white")
    ring_mask("login/userHeadMask_2.png", 100, "white", LIGHT)
    unlogin()
    qrcode()
    close_cross("login/btn_close_new.png", 14, GREY, (32, 56))
    close_cross("setting/btn_close_off.png", 14, GREY)
    close_cross("setting/btn_close_on.png", 14, ALERT)
    close_cross("signup/btnClose.png", 14, GREY)
    render("setting/drop-down.png", 12, 8, f'<g {stroke(GREY, 2)}><path d="M2 2 L6 6 L10 2"/></g>')


if __name__ == "__main__":
    main()
