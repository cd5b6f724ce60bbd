#!/usr/bin/env python3
"""Artwork of the projection page under resources/wid/res/project, in the shell's
flat style (see artwork.py).

The page lies on a deep blue ground with white labels; the background is drawn
for the page's smallest size (820 x 540) and shown centred on the same colour,
so the picture stays with the centred form when the window grows.

    python3 resources/wid/res/src/artwork_project.py
"""
import os
import subprocess

from artwork import BLUE, CJK, OUT, render, stroke

GROUND = "rgb(20,56,108)"
SALMON = "rgb(245,150,135)"


def background():
    # The form sits in the middle (x 145..675, y 80..460); the drawing of a
    # laptop casting to a wall screen fills the free space on its right.
    art = ('<g transform="translate(632 150)">'
           f'<g {stroke("white", 2, 0.55)}>'
           '<rect x="40" y="0" width="132" height="84" rx="4"/>'
           '<path d="M96 84 V100 M80 100 H112"/>'
           '<rect x="0" y="118" width="60" height="38" rx="3"/>'
           '<path d="M-8 162 H68"/>'
           '</g>'
           f'<g {stroke(BLUE, 2, 0.9)}>'
           '<path d="M44 112 A22 22 0 0 1 66 90"/>'
           '<path d="M52 112 A14 14 0 0 1 66 98"/>'
           '</g>'
           f'<circle cx="66" cy="112" r="2.5" fill="{BLUE}" fill-opacity="0.9"/>'
           '<rect x="52" y="12" width="108" height="60" rx="2" fill="white" fill-opacity="0.08"/>'
           '</g>')
    # Nothing touches the picture's edges: in a larger window they lie open.
    body = f'<rect width="820" height="540" fill="{GROUND}"/>{art}'
    render("project/bkg_project.png", 820, 540, body)
    png = os.path.join(OUT, "project/bkg_project.png")
    jpg = os.path.join(OUT, "project/bkg_project.jpg")
    subprocess.run(["convert", png, "-quality", "92", jpg], check=True)
    os.unlink(png)
    print("project/bkg_project.jpg")


def title():
    body = (f'<text x="0" y="31" font-family="{CJK}" font-size="24" font-weight="bold" '
            f'fill="white" letter-spacing="2">无线投屏</text>'
            f'<rect x="1" y="40" width="28" height="3" rx="1.5" fill="{BLUE}"/>')
    render("project/title_project.png", 120, 45, body)


def round_button(name, plus):
    bar = '<path d="M15 20 H25"/>' + ('<path d="M20 15 V25"/>' if plus else '')
    body = f'<g {stroke(BLUE, 2)}><circle cx="20" cy="20" r="9.5"/>{bar}</g>'
    render(f"project/{name}.png", 40, 40, body)


def error():
    """The code-or-VPN error: the page shows this picture and no text. The card
    is as wide as the code fields and ends above the form's lower edge, which
    cuts the label in dual mode."""
    lines = [("请核对接收端屏幕上显示的投屏码", 58),
             ("请确认电脑与接收端在同一网络;如已开启VPN,请关闭后重试", 82)]
    hints = "".join(
        f'<circle cx="41" cy="{y - 5}" r="2" fill="white" fill-opacity="0.7"/>'
        f'<text x="52" y="{y}" font-family="{CJK}" font-size="14" fill="white" fill-opacity="0.85">{text}</text>'
        for text, y in lines)
    body = ('<rect x="0.5" y="0.5" width="459" height="103" rx="6" fill="white" fill-opacity="0.07" '
            f'stroke="{SALMON}" stroke-opacity="0.45"/>'
            f'<g transform="translate(16 14)" {stroke(SALMON, 2)}>'
            '<circle cx="10" cy="10" r="9"/><path d="M10 5.5 V11"/></g>'
            f'<circle cx="26" cy="29" r="1.3" fill="{SALMON}"/>'
            f'<text x="44" y="31" font-family="{CJK}" font-size="16" fill="{SALMON}">投屏码错误或VPN问题</text>'
            f'{hints}')
    render("project/error.png", 530, 120, body)


def main():
    background()
    title()
    round_button("add", True)
    round_button("minus", False)
    error()


if __name__ == "__main__":
    main()
