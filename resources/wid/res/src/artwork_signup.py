#!/usr/bin/env python3
"""Registration and find-password pictures under resources/wid/res/signup.

The step bar of the registration dialog (one picture per step, 426 x 65) and
the success mark (426 x 80) of the registration and password dialogs, in the
flat style of artwork.py.

    python3 resources/wid/res/src/artwork_signup.py
"""
from artwork import BLUE, CJK, GREY, LIGHT, render, stroke

STEPS = ("验证手机", "设置密码", "注册成功")
WIDTH = 426
CENTRES = (93, 213, 333)


def step_bar(current):
    parts = []
    # Links between the circles: blue up to the current step.
    for i in range(len(CENTRES) - 1):
        colour = BLUE if i + 1 < current else LIGHT
        parts.append(f'<path d="M{CENTRES[i] + 20} 20.5 H{CENTRES[i + 1] - 20}" stroke="{colour}" stroke-width="2"/>')
    for i, (x, caption) in enumerate(zip(CENTRES, STEPS), start=1):
        reached = i <= current
        if reached:
            parts.append(f'<circle cx="{x}" cy="20.5" r="13" fill="{BLUE}"/>')
        else:
            parts.append(f'<circle cx="{x}" cy="20.5" r="12" fill="white" stroke="{LIGHT}" stroke-width="2"/>')
        if i < current:
            parts.append(f'<g {stroke("white")}><path d="M{x - 6} 21 L{x - 2} 25 L{x + 6} 16"/></g>')
        else:
            parts.append(f'<text x="{x}" y="25.5" text-anchor="middle" font-family="Noto Sans, DejaVu Sans" '
                         f'font-size="14" font-weight="bold" fill="{"white" if reached else GREY}">{i}</text>')
        parts.append(f'<text x="{x}" y="55" text-anchor="middle" font-family="{CJK}" font-size="13" '
                     f'fill="{BLUE if reached else GREY}">{caption}</text>')
    render(f"signup/signupStep{current}.png", WIDTH, 65, "".join(parts))


def done_mark():
    x = WIDTH / 2
    body = (f'<circle cx="{x}" cy="40" r="36" fill="{BLUE}" fill-opacity="0.12"/>'
            f'<circle cx="{x}" cy="40" r="28" fill="{BLUE}"/>'
            f'<g {stroke("white", 4)}><path d="M{x - 13} 40 L{x - 4} 49 L{x + 13} 31"/></g>')
    render("signup/signupDone.png", WIDTH, 80, body)


def main():
    for current in range(1, len(STEPS) + 1):
        step_bar(current)
    done_mark()


if __name__ == "__main__":
    main()
