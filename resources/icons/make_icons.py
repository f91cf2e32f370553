#!/usr/bin/env python3
"""Draws Tessaly's icons as SVG files in this folder (24 x 24, one outline colour, a few flat fills).

Run it after changing a drawing: python3 resources/icons/make_icons.py
"""
import os

OUT = os.path.dirname(os.path.abspath(__file__))
LINE = "#34495e"      # outlines
PAPER = "#ffffff"
BLUE = "#4a7ebb"
LIGHT = "#c9daf0"
YELLOW = "#f2c14e"
GREEN = "#3f9f5a"
RED = "#c9453b"
GREY = "#9aa5b1"

def svg(body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" '
            f'fill="none" stroke="{LINE}" stroke-width="1.5" stroke-linejoin="round" stroke-linecap="round">'
            f'{body}</svg>\n')

def paper(x=5, y=2.5, w=14, h=19, fill=PAPER):
    f = 4
    return (f'<path d="M{x} {y}h{w-f}l{f} {f}v{h-f}h-{w}z" fill="{fill}"/>'
            f'<path d="M{x+w-f} {y}v{f}h{f}"/>')

def lines(x, y, w, n, gap=3):
    return "".join(f'<path d="M{x} {y+i*gap}h{w}"/>' for i in range(n))

def envelope(x=2.5, y=5.5, w=19, h=13, fill=LIGHT):
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="1" fill="{fill}"/>'
            f'<path d="M{x} {y}l{w/2} {h*0.6}l{w/2} -{h*0.6}"/>')

def folder(fill=YELLOW, open_=False):
    s = f'<path d="M2.5 6.5v12h19v-10h-9l-2-2z" fill="{fill}"/>'
    if open_:
        s += f'<path d="M2.5 18.5l3-8h18l-2 8z" fill="{PAPER}"/>'
    return s

def person(cx=12, cy=8, s=1.0, fill=BLUE):
    r = 3.5 * s
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{fill}"/>'
            f'<path d="M{cx-6.5*s} {cy+12*s}c0-4 3-6.5 {6.5*s} -6.5s{6.5*s} 2.5 {6.5*s} 6.5z" fill="{fill}"/>')

def clip(x=15, y=3):
    return (f'<path d="M{x} {y+14}v-10a2.5 2.5 0 0 1 5 0v11a4 4 0 0 1 -8 0v-9" stroke="{LINE}"/>')

def bullet(fill):
    return f'<rect x="7" y="7" width="10" height="10" rx="2" fill="{fill}"/>'

def arrow_right(y=12, x1=8, x2=21, colour=GREEN):
    return f'<path d="M{x1} {y}h{x2-x1}m-4 -4l4 4l-4 4" stroke="{colour}" stroke-width="2"/>'

ICONS = {
    # menus, tool buttons and main tabs
    "open": folder(open_=True) + f'<path d="M12 3v6m-3 -3l3 -3l3 3" stroke="{GREEN}" stroke-width="2"/>',
    "exit": f'<path d="M13 3.5h-9v17h9" fill="{LIGHT}"/>' + arrow_right(x1=9, colour=RED),
    "homepage": f'<path d="M3 11.5l9-8l9 8" /><path d="M5.5 9.5v11h13v-11" fill="{LIGHT}"/>'
                f'<rect x="10" y="14" width="4" height="6.5" fill="{BLUE}"/>',
    "send-mail": envelope(y=7, h=12) + f'<path d="M14 4h8m-3 -3l3 3l-3 3" stroke="{GREEN}" stroke-width="2"/>',
    "about": f'<circle cx="12" cy="12" r="9.5" fill="{BLUE}"/><path d="M12 11v6" stroke="{PAPER}" stroke-width="2.5"/>'
             f'<circle cx="12" cy="7.5" r="1.4" fill="{PAPER}" stroke="none"/>',
    "preview": envelope(y=4.5, h=11) + f'<circle cx="15.5" cy="16.5" r="4" fill="{PAPER}"/><path d="M18.5 19.5l3 3" stroke-width="2"/>',
    "save-as": f'<path d="M3.5 3.5h14l3 3v14h-17z" fill="{BLUE}"/><rect x="7" y="3.5" width="9" height="6" fill="{PAPER}"/>'
               f'<rect x="6.5" y="13" width="11" height="7.5" fill="{PAPER}"/>',
    "save-attachments": f'<path d="M3.5 8.5h11l3 3v9h-14z" fill="{BLUE}"/><rect x="6" y="15" width="8" height="5.5" fill="{PAPER}"/>' + clip(16, 2),
    "properties": f'<rect x="3.5" y="3.5" width="17" height="17" rx="1.5" fill="{PAPER}"/>'
                  f'<path d="M7 8h2m3 0h5M7 12h2m3 0h5M7 16h2m3 0h5"/>'
                  f'<path d="M7 8h2M7 12h2M7 16h2" stroke="{BLUE}" stroke-width="2"/>',
    "structure": f'<rect x="3" y="3" width="7" height="5" fill="{YELLOW}"/><rect x="14" y="10" width="7" height="5" fill="{LIGHT}"/>'
                 f'<rect x="14" y="17" width="7" height="5" fill="{LIGHT}"/><path d="M6.5 8v11.5h7.5M6.5 12.5h7.5"/>',
    "reply": envelope(y=9, h=11) + f'<path d="M20 5.5h-12m4 -3.5l-4 3.5l4 3.5" stroke="{GREEN}" stroke-width="2"/>',
    "forward": envelope(y=9, h=11) + f'<path d="M4 5.5h12m-4 -3.5l4 3.5l-4 3.5" stroke="{GREEN}" stroke-width="2"/>',
    "transport-header": paper() + f'<path d="M8 8h3M8 11.5h6M8 15h4" stroke="{BLUE}" stroke-width="2"/><path d="M13 8h3"/>',
    "flags": f'<rect x="3.5" y="3.5" width="17" height="17" rx="1.5" fill="{PAPER}"/>'
             f'<path d="M6.5 8l1.5 1.5l2.5-3M6.5 15l1.5 1.5l2.5-3" stroke="{GREEN}" stroke-width="2"/>'
             f'<path d="M13 8h4.5M13 15h4.5"/>',
    # attachments and body tabs
    "attach-file": paper(4, 2.5, 13, 19) + lines(7, 10, 6, 3) + clip(15, 4),
    "attach-message": envelope(fill=YELLOW),
    "attach-ole": f'<path d="M12 2.5l8.5 4.5v10l-8.5 4.5l-8.5-4.5v-10z" fill="{LIGHT}"/><path d="M3.5 7l8.5 4.5l8.5-4.5M12 11.5v10"/>',
    "body-text": paper() + lines(8, 9, 8, 4),
    "body-rtf": paper() + f'<path d="M8 17l3.5-9l3.5 9M9.3 14h4.4" stroke="{RED}" stroke-width="2"/>',
    "body-html": paper() + f'<path d="M10 10l-3 3l3 3M14 10l3 3l-3 3" stroke="{BLUE}" stroke-width="2"/>',
    # storage, workspace and file trees
    "storage": f'<rect x="3.5" y="4.5" width="17" height="15" rx="1" fill="{YELLOW}"/><path d="M3.5 9.5h17M10 7h4"/>',
    "folder": folder(),
    "stream": paper(fill=PAPER) + f'<path d="M8 9h8M8 12h8M8 15h5" stroke="{BLUE}" stroke-width="1.5"/>',
    "lock-bytes": f'<rect x="5" y="10.5" width="14" height="10" rx="1.5" fill="{YELLOW}"/><path d="M8 10.5v-3a4 4 0 0 1 8 0v3"/>',
    "property": f'<path d="M3.5 12.5l9-9h8v8l-9 9z" fill="{LIGHT}"/><circle cx="16.5" cy="7.5" r="1.5" fill="{PAPER}"/>',
    "file-message": paper() + f'<rect x="7.5" y="10" width="9" height="7" fill="{LIGHT}"/><path d="M7.5 10l4.5 3.5l4.5-3.5"/>',
    "drive": f'<rect x="2.5" y="7.5" width="19" height="9" rx="1.5" fill="{GREY}"/><circle cx="17.5" cy="12" r="1" fill="{GREEN}" stroke="none"/><path d="M5.5 12h7"/>',
    "file-other": paper(fill="#eef1f4"),
    "favorites": f'<path d="M12 2.8l2.8 5.8l6.3 0.9l-4.6 4.4l1.1 6.3l-5.6-3l-5.6 3l1.1-6.3l-4.6-4.4l6.3-0.9z" fill="{YELLOW}"/>',
    "opened-files": paper(7, 1.5, 13, 16) + paper(4, 5.5, 13, 17) + lines(7, 13, 7, 3),
    # property tree
    "prop-envelope": envelope(),
    "prop-envelope-item": bullet(LIGHT),
    "prop-recipient": person(),
    "prop-recipient-item": bullet(BLUE),
    "prop-attachment": paper(4, 2.5, 13, 19, fill=YELLOW) + clip(15, 4),
    "prop-attachment-item": bullet(YELLOW),
    "prop-list": f'<path d="M8 3.5h-3.5v17h3.5M16 3.5h3.5v17h-3.5"/>' + lines(8, 8.5, 8, 3, 3.5),
    "prop-address-book": f'<path d="M5.5 2.5h13v19h-13z" fill="{GREEN}"/><path d="M5.5 2.5v19" stroke-width="3"/>' + person(13, 9, 0.6, PAPER),
    # Kept on this computer (a house): not an error, so no cross.
    "prop-non-transmittable": paper() + f'<path d="M8 13.5l4-3.5l4 3.5v4.5h-8z" fill="{LIGHT}" stroke="{BLUE}"/>'
    f'<path d="M11 18v-2.5h2v2.5" stroke="{BLUE}"/>',
    "prop-message": paper() + f'<rect x="7.5" y="10" width="9" height="7" fill="{YELLOW}"/><path d="M7.5 10l4.5 3.5l4.5-3.5"/>',
    "prop-user": person(11, 8, 0.9, GREEN) + f'<path d="M19 13v8M15 17h8" stroke="{BLUE}" stroke-width="2"/>',
    "prop-status": f'<circle cx="12" cy="12" r="9.5" fill="{GREEN}"/><path d="M7.5 12.5l3 3l6-6.5" stroke="{PAPER}" stroke-width="2.5"/>',
}

LOGO = """<svg xmlns="http://www.w3.org/2000/svg" width="96" height="96" viewBox="0 0 96 96">
<rect x="6" y="14" width="84" height="62" rx="6" fill="#4a7ebb" stroke="#34495e" stroke-width="3"/>
<path d="M6 20l42 30l42-30" fill="none" stroke="#ffffff" stroke-width="5" stroke-linejoin="round"/>
<circle cx="70" cy="64" r="20" fill="#f2c14e" stroke="#34495e" stroke-width="3"/>
<path d="M60 56h20M70 56v20" stroke="#34495e" stroke-width="5" stroke-linecap="round"/>
</svg>
"""

if __name__ == "__main__":
    for name, body in ICONS.items():
        with open(os.path.join(OUT, name + ".svg"), "w") as f:
            f.write(svg(body))
    with open(os.path.join(OUT, "logo.svg"), "w") as f:
        f.write(LOGO)
    with open(os.path.join(OUT, "..", "icons.qrc"), "w") as f:
        f.write('<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/">\n')
        for name in sorted(list(ICONS) + ["logo"]):
            f.write(f'    <file>icons/{name}.svg</file>\n')
        f.write('</qresource>\n</RCC>\n')
