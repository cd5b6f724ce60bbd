#!/usr/bin/env python3
"""Draws the home page: its background and the picture slider's buttons.

The background is a flat sky in the action blue with a quiet skyline, so the
white weather text on its upper left stays readable. rsvg-convert renders the
PNG, Pillow (Debian python3-pil) turns the background into the JPEG the style
sheet names.

    /usr/bin/python3 resources/wid/res/src/artwork_home.py
"""
import os
import random

from artwork import OUT, render, stroke

WIDTH, HEIGHT = 820, 540


def skyline(rng, base, height_range, width_range, opacity):
    x = -10
    parts = []
    while x < WIDTH + 10:
        w = rng.randint(*width_range)
        h = rng.randint(*height_range)
        parts.append(f'<rect x="{x}" y="{base - h}" width="{w}" height="{h + 200}"/>')
        if rng.random() < 0.25:  # a mast on some roofs
            parts.append(f'<rect x="{x + w // 2 - 1}" y="{base - h - 14}" width="2" height="14"/>')
        x += w + rng.randint(0, 6)
    return f'<g fill="white" opacity="{opacity}">{"".join(parts)}</g>'


def flat_cloud(x, y, s, opacity):
    return (f'<g transform="translate({x} {y}) scale({s})" fill="white" opacity="{opacity}">'
            '<rect x="0" y="20" width="120" height="22" rx="11"/>'
            '<circle cx="42" cy="22" r="20"/><circle cx="72" cy="16" r="16"/></g>')


def background():
    rng = random.Random(11)
    body = ('<defs><linearGradient id="sky" x1="0" y1="0" x2="0.35" y2="1">'
            '<stop offset="0" stop-color="rgb(0,110,214)"/>'
            '<stop offset="1" stop-color="rgb(64,172,255)"/></linearGradient></defs>'
            f'<rect width="{WIDTH}" height="{HEIGHT}" fill="url(#sky)"/>'
            '<circle cx="690" cy="110" r="150" fill="white" fill-opacity="0.05"/>'
            '<circle cx="690" cy="110" r="95" fill="white" fill-opacity="0.06"/>'
            '<circle cx="690" cy="110" r="48" fill="white" fill-opacity="0.10"/>'
            + flat_cloud(470, 70, 1.0, 0.10) + flat_cloud(590, 215, 0.7, 0.08) + flat_cloud(80, 380, 0.8, 0.06)
            + skyline(rng, 470, (40, 120), (26, 60), 0.07)
            + skyline(rng, 505, (20, 70), (30, 70), 0.10)
            + f'<rect x="0" y="505" width="{WIDTH}" height="35" fill="white" fill-opacity="0.12"/>')
    png = os.path.join(OUT, "home/bkg.png")
    render("home/bkg.png", WIDTH, HEIGHT, body)
    from PIL import Image
    Image.open(png).convert("RGB").save(os.path.join(OUT, "home/bkg.jpg"), quality=92, optimize=True)
    os.unlink(png)
    print("home/bkg.jpg")


def slider_buttons():
    render("picslider/btn_left.png", 30, 40, f'<path d="M18 12 L10 20 L18 28" {stroke("white", 3)}/>')
    render("picslider/btn_right.png", 30, 40, f'<path d="M12 12 L20 20 L12 28" {stroke("white", 3)}/>')


if __name__ == "__main__":
    background()
    slider_buttons()
