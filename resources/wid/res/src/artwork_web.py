#!/usr/bin/env python3
"""Artwork of the mail and conference web pages, in the style of artwork.py.

Tool bar buttons (30 x 30: grey, blue on hover, light when disabled), the
page-load error picture and the mail page's sign-in prompt.

    python3 resources/wid/res/src/artwork_web.py
"""
from artwork import BLUE, CJK, GREY, LIGHT, render, stroke

TOOL_ICONS = {
    "back": '<path d="M17 8 L10 15 L17 22"/>',
    "refresh": '<path d="M21.5 11 A7.5 7.5 0 1 0 22.5 16.5"/><path d="M22 6.5 V11.5 H17"/>',
    "home": '<path d="M7 15 L15 8 L23 15"/><path d="M9.5 13 V22 H20.5 V13"/><path d="M13 22 V17.5 H17 V22"/>',
}
TOOL_STATES = {"on": GREY, "hover": BLUE, "off": LIGHT}


def tool_button(name, state):
    render(f"common/{name}_{state}.png", 30, 30, f'<g {stroke(TOOL_STATES[state])}>{TOOL_ICONS[name]}</g>')


def network_error():
    """A cloud whose link to the screen below is cut."""
    body = (f'<g {stroke(LIGHT, 2)}><path d="M40 150 H200"/></g>'
            f'<g {stroke(BLUE, 3)}>'
            '<path d="M78 78 A22 22 0 0 1 92 40 A30 30 0 0 1 148 36 A22 22 0 0 1 164 78 Z"/>'
            '</g>'
            f'<g {stroke(GREY, 3)}>'
            '<rect x="92" y="112" width="56" height="38" rx="4"/><path d="M110 150 V158 M130 150 V158"/>'
            '<path d="M120 84 V92 M120 100 V106"/>'
            '</g>'
            f'<g {stroke("rgb(245,106,83)", 3)}><path d="M108 88 L132 104"/></g>')
    render("common/networkerror.png", 240, 170, body)


def mail_background():
    body = ('<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="rgb(246,250,255)"/><stop offset="1" stop-color="white"/>'
            '</linearGradient></defs><rect width="820" height="540" fill="url(#g)"/>')
    render("mail/bkg_mail.png", 820, 540, body)


def mail_sign_in_prompt():
    """400 x 450; the page's transparent button covers the drawn one at 323, 117, 54 x 26."""
    body = (f'<rect x="1" y="91" width="398" height="300" rx="6" fill="white" stroke="{LIGHT}" stroke-width="1"/>'
            f'<text x="24" y="136" font-family="{CJK}" font-size="15" fill="rgb(50,50,50)">您还未登录</text>'
            f'<rect x="323" y="117" width="54" height="26" rx="3" fill="{BLUE}"/>'
            f'<text x="350" y="135" text-anchor="middle" font-family="{CJK}" font-size="13" fill="white">登录</text>'
            f'<path d="M24 160 H376" stroke="{LIGHT}" stroke-width="1"/>'
            f'<g transform="translate(150 190)" {stroke(BLUE, 3)}>'
            '<rect x="2" y="8" width="96" height="66" rx="6"/><path d="M6 14 L50 46 L94 14"/></g>'
            f'<text x="200" y="310" text-anchor="middle" font-family="{CJK}" font-size="16" '
            f'fill="rgb(50,50,50)">办公与邮件</text>'
            f'<text x="200" y="340" text-anchor="middle" font-family="{CJK}" font-size="13" '
            f'fill="{GREY}">登录后即可使用云办公和企业邮箱</text>')
    render("mail/error_mail.png", 400, 450, body)


def main():
    for name in TOOL_ICONS:
        for state in TOOL_STATES:
            tool_button(name, state)
    network_error()
    mail_background()
    mail_sign_in_prompt()


if __name__ == "__main__":
    main()
