#!/usr/bin/env python3
"""Draws the weather icons shipped beside the client under image/wea.

The icons sit on the home page's blue background: white 2-pixel strokes on a
48 x 48 grid, rendered at 96 x 96 so that today's large icon stays sharp and
the forecast's half-size icons keep even 2-pixel lines. The sun is the only
colour.

    python3 resources/wid/res/src/artwork_weather.py   # rewrites resources/image/wea/*.png
"""
import math

from artwork import render, stroke

SUN = "rgb(255,204,77)"
WHITE = "white"
SIZE = 96
TARGET = "../../image/wea/"


def sun_rays(cx, cy, r, inner, outer, colour):
    rays = []
    for i in range(8):
        a = i * math.pi / 4
        rays.append(f"M{cx + inner * math.cos(a):.2f} {cy + inner * math.sin(a):.2f} "
                    f"L{cx + outer * math.cos(a):.2f} {cy + outer * math.sin(a):.2f}")
    return (f'<g {stroke(colour)}><circle cx="{cx}" cy="{cy}" r="{r}"/>'
            f'<path d="{" ".join(rays)}"/></g>')


def cloud(dx=0, dy=0, colour=WHITE, fill=None, opacity=1.0):
    """A cloud whose flat base runs from x 12 to 36 at y 32 (before the shift)."""
    d = "M14 32 H35 A6.5 6.5 0 0 0 35.5 19 A10 10 0 0 0 16.5 20.5 A6 6 0 0 0 14 32 Z"
    filled = f'<path d="{d}" fill="{fill}"/>' if fill else ""
    return (f'<g transform="translate({dx} {dy})" opacity="{opacity}">'
            f'{filled}<path d="{d}" {stroke(colour)}/></g>')


def drops(xs, y0=33, length=6, slant=2.5):
    lines = " ".join(f"M{x} {y0 + 4} L{x - slant} {y0 + 4 + length}" for x in xs)
    return f'<path d="{lines}" {stroke(WHITE)}/>'


def flakes(points):
    parts = []
    for x, y in points:
        for a in (0, 60, 120):
            r = math.radians(a)
            parts.append(f"M{x - 2.6 * math.cos(r):.2f} {y - 2.6 * math.sin(r):.2f} "
                         f"L{x + 2.6 * math.cos(r):.2f} {y + 2.6 * math.sin(r):.2f}")
    return f'<path d="{" ".join(parts)}" {stroke(WHITE, 1.6)}/>'


# Cloud with something below it: the cloud moves up to leave room.
UP = -5
ICONS = {
    "sunny": sun_rays(24, 24, 8, 12.5, 17.5, SUN),
    "cloudy": f'<g>{sun_rays(17, 17, 5.5, 9, 12.5, SUN)}</g>'
              f'{cloud(3, 4, fill=WHITE)}',
    "overcast": f'{cloud(-5, -5, opacity=0.6)}{cloud(3, 3, fill=WHITE)}',
    "lightrain": cloud(0, UP) + drops([20, 28], 28),
    "moderaterain": cloud(0, UP) + drops([16, 22, 28, 34], 28, 8),
    "thunderstorm": cloud(0, UP) + drops([17, 33], 28)
                    + f'<path d="M26 31 L21.5 38.5 H26.5 L23 45" {stroke(SUN)}/>',
    "lightsnow": cloud(0, UP) + flakes([(18, 36), (26, 40), (33, 35)]),
    "fogs": cloud(0, -7) + f'<path d="M10 32 H38 M14 38 H34 M18 44 H30" {stroke(WHITE)}/>',
    "haze": '<path d="M9 14 Q14.5 10 20 14 T31 14 T42 14 M6 22 Q11.5 18 17 22 T28 22 T39 22 '
            'M9 30 Q14.5 26 20 30 T31 30 T42 30 M12 38 Q17.5 34 23 38 T34 38" '
            f'{stroke(WHITE)}/>',
    "unknown": cloud(0, 2, opacity=0.55)
               + f'<path d="M20 18 A4.5 4.5 0 1 1 26.5 22 C24.5 23.2 24 24.2 24 26.5" {stroke(WHITE)}/>'
               + '<circle cx="24" cy="31.5" r="1.5" fill="white"/>',
}


def main():
    scale = SIZE / 48.0
    for name, body in ICONS.items():
        render(f"{TARGET}{name}.png", SIZE, SIZE, f'<g transform="scale({scale})">{body}</g>')


if __name__ == "__main__":
    main()
