#!/usr/bin/env python3
"""Draws the print page: its background and the two pictures that explain
online printing (signed in, and signed out with the sign-in button).

The page lays two transparent buttons over a picture, so some places are
fixed: the sign-in button at (322, 119, 54 x 26) and the driver download link
at (98, 313, 160 x 22) of the 400 x 450 picture.

    /usr/bin/python3 resources/wid/res/src/artwork_print.py
"""
import os

from artwork import BLUE, CJK, GREY, LIGHT, ALERT, OUT, render, stroke

DARK = "rgb(51,51,51)"
W, H = 400, 450


def text(x, y, content, size, colour, weight="normal", anchor="start", extra=""):
    return (f'<text x="{x}" y="{y}" font-family="{CJK}" font-size="{size}" font-weight="{weight}" '
            f'fill="{colour}" text-anchor="{anchor}" {extra}>{content}</text>')


def printer(x, y):
    return (f'<rect x="{x}" y="{y}" width="44" height="44" rx="10" fill="{BLUE}"/>'
            f'<g transform="translate({x + 8} {y + 8})" {stroke("white")}>'
            '<path d="M8 10 V4 H20 V10"/><rect x="3" y="10" width="22" height="10" rx="2"/>'
            '<path d="M8 16 H20 V25 H8 Z"/><path d="M11 20 H17"/></g>')


def step(y, number, title, lines):
    body = (f'<circle cx="36" cy="{y - 5}" r="10" fill="{BLUE}"/>'
            + text(36, y, number, 12, "white", "bold", "middle")
            + text(56, y, title, 15, DARK, "bold"))
    for i, line in enumerate(lines):
        body += text(56, y + 24 + i * 21, line, 12, GREY)
    return body


def card(signed_in):
    body = (f'<rect x="0.5" y="0.5" width="{W - 1}" height="{H - 1}" rx="12" fill="white" stroke="{LIGHT}"/>'
            + printer(24, 28)
            + text(80, 48, "在线打印", 20, DARK, "bold")
            + text(80, 70, "用 Inkpost_PS 驱动，从任意应用打印到云打印", 12, GREY))
    # Status bar; the sign-in button lies at 322, 119.
    if signed_in:
        body += ('<rect x="24" y="112" width="352" height="40" rx="6" fill="rgb(232,244,255)"/>'
                 f'<circle cx="44" cy="132" r="9" fill="{BLUE}"/>'
                 f'<path d="M39.5 132 L43 135.5 L48.5 128.5" {stroke("white")}/>'
                 + text(62, 137, "已登录，打印任务将以您的账号提交", 13, BLUE))
    else:
        body += ('<rect x="24" y="112" width="352" height="40" rx="6" fill="rgb(255,241,238)"/>'
                 f'<circle cx="44" cy="132" r="9" fill="{ALERT}"/>'
                 '<path d="M44 127 V133" stroke="white" stroke-width="2" stroke-linecap="round"/>'
                 '<circle cx="44" cy="137" r="1.2" fill="white"/>'
                 + text(62, 137, "尚未登录，无法使用在线打印", 13, ALERT)
                 + f'<rect x="322" y="119" width="54" height="26" rx="4" fill="{BLUE}"/>'
                 + text(349, 137, "登录", 13, "white", anchor="middle"))
    body += step(192, "1", "安装打印机驱动", ["首次使用前，请下载并安装打印机驱动，", "每台电脑只需安装一次。"])
    # Driver download box; the link lies at 98, 313 (160 x 22).
    body += ('<rect x="24" y="258" width="352" height="88" rx="8" fill="rgb(246,249,252)" '
             f'stroke="{LIGHT}"/>'
             f'<g transform="translate(48 274)"><path d="M0 0 H26 L36 10 V52 H0 Z" fill="white" stroke="{BLUE}" '
             'stroke-width="2" stroke-linejoin="round"/>'
             f'<path d="M26 0 V10 H36" fill="none" stroke="{BLUE}" stroke-width="2" stroke-linejoin="round"/>'
             f'<path d="M18 20 V38 M11 31 L18 38 L25 31" {stroke(BLUE)}/></g>'
             + text(98, 296, "Inkpost_PS.exe", 13, DARK)
             + text(98, 329, "点此下载打印机驱动", 14, BLUE, extra='text-decoration="underline"')
             + f'<path d="M98 332.5 H224" stroke="{BLUE}" stroke-width="1"/>')
    body += step(386, "2", "在应用中选择打印机", ["打印时选择 Inkpost_PS，文件即提交到云打印。"])
    name = "normal_print.png" if signed_in else "error_print.png"
    render(f"print/{name}", W, H, body)


def background():
    body = ('<rect width="820" height="540" fill="rgb(243,247,251)"/>'
            '<circle cx="760" cy="60" r="180" fill="rgb(1,149,255)" fill-opacity="0.05"/>'
            '<circle cx="60" cy="520" r="150" fill="rgb(1,149,255)" fill-opacity="0.04"/>')
    png = os.path.join(OUT, "print/bkg_print.png")
    render("print/bkg_print.png", 820, 540, body)
    from PIL import Image
    Image.open(png).convert("RGB").save(os.path.join(OUT, "print/bkg_print.jpg"), quality=92, optimize=True)
    os.unlink(png)
    print("print/bkg_print.jpg")


if __name__ == "__main__":
    card(True)
    card(False)
    background()
