#!/usr/bin/env python3
"""Draws the 160 pictures of the built-in default theme and writes them as a
C++ source of pixel tables (B, G, R, A words, bottom row first).

    theme_art.py OUTPUT.cpp

The toolkit computes layouts from these sizes, so they are fixed here in one
place (SIZES below) and checked by tests/gui/theme_test.cpp:
  - scroll bars are 14 pixels thick (theme metric 19); start cap 5, arrows 9,
    separator 2, so cap + both arrows + separator + the two 5-pixel fillers
    is 35, the length the drag code takes off the bar;
  - check boxes 10 x 10, message box icons 27 x 27, small icons 16 x 16;
  - the form frame: top corners 5 x 30, top edge 1 x 30, side edges 5 x 1,
    bottom corners 8 x 40, bottom edge 1 x 40 (caption 30, sides 5, bottom
    40: metrics 0, 1 and 2).
Entries that nothing reads are 1 x 1 solid colours without pixels.

Shapes are drawn in top-down coordinates with 4 x 4 supersampling for soft
edges; only the output is turned bottom row first.
"""
import math
import sys

SS = 4  # supersampling per axis


def rgb(bgr):
    """A GDI colour 0x00BBGGRR as an (r, g, b) tuple."""
    return (bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# Palette, from the default colour table where one fits.
FORM = rgb(0xF3E5DF)       # colours 0 to 3
OUTLINE = rgb(0x9B8971)    # colour 68
CAPTION_TOP = rgb(0xF1D5C6)  # colour 21
ACCENT = rgb(0x9A6F24)     # colour 73
ACCENT_DARK = rgb(0x8A3E1A)  # colour 70
ACCENT_LIGHT = rgb(0xFCF3E1)  # colour 24
TEXT = rgb(0x404040)       # colour 4
GREY = rgb(0xA0A0A0)       # colour 8
LIGHT_GREY = rgb(0xE0E0E0)  # colour 45
WHITE = (255, 255, 255)
TRACK = rgb(0xF1EBE5)      # colour 18
HOVER = rgb(0xF1D5C6)      # colour 21
PRESSED = rgb(0xDCB6A9)    # colour 23
YELLOW = (240, 196, 72)
YELLOW_DARK = (184, 134, 30)
GREEN = (56, 152, 64)
RED = (204, 52, 44)
BLUE = (44, 108, 196)


class Img:
    def __init__(self, w, h, fill=None):
        self.w, self.h = w, h
        # straight-alpha (r, g, b, a) floats, a in 0..1
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * w for _ in range(h)]
        if fill is not None:
            self.rect(0, 0, w, h, fill)

    def blend(self, x, y, col, cover):
        if cover <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        r, g, b = col[:3]
        a = (col[3] if len(col) > 3 else 1.0) * min(cover, 1.0)
        dr, dg, db, da = self.px[y][x]
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        mixc = lambda s, d: (s * a + d * da * (1 - a)) / oa
        self.px[y][x] = (mixc(r, dr), mixc(g, dg), mixc(b, db), oa)

    def rect(self, x, y, w, h, col):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.blend(xx, yy, col, 1.0)

    def vgrad(self, x, y, w, h, top, bottom):
        for yy in range(y, y + h):
            t = 0 if h <= 1 else (yy - y) / (h - 1)
            self.rect(x, yy, w, 1, mix(top, bottom, t))

    def hgrad(self, x, y, w, h, left, right):
        for xx in range(x, x + w):
            t = 0 if w <= 1 else (xx - x) / (w - 1)
            self.rect(xx, y, 1, h, mix(left, right, t))

    def shape(self, inside, col, box=None):
        """Paints col where inside(x, y) holds, x and y in pixel units."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        for yy in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)))):
            for xx in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)))):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(xx + (sx + 0.5) / SS, yy + (sy + 0.5) / SS):
                            hits += 1
                self.blend(xx, yy, col, hits / (SS * SS))

    def disc(self, cx, cy, r, col):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, col)

    def ring(self, cx, cy, r, width, col):
        self.shape(lambda x, y: (r - width) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r, col)

    def poly(self, pts, col):
        def inside(x, y):
            c = False
            n = len(pts)
            for i in range(n):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
                if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                    c = not c
            return c
        self.shape(inside, col)

    def line(self, xa, ya, xb, yb, width, col):
        def inside(x, y):
            dx, dy = xb - xa, yb - ya
            ll = dx * dx + dy * dy
            t = 0 if ll == 0 else max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / ll))
            px, py = xa + t * dx - x, ya + t * dy - y
            return px * px + py * py <= (width / 2) ** 2
        self.shape(inside, col)

    def rrect(self, x, y, w, h, r, col):
        def inside(px, py):
            if not (x <= px <= x + w and y <= py <= y + h):
                return False
            cx = min(max(px, x + r), x + w - r)
            cy = min(max(py, y + r), y + h - r)
            return (px - cx) ** 2 + (py - cy) ** 2 <= r * r
        self.shape(inside, col)

    def words(self):
        """B, G, R, A words, bottom row first."""
        out = []
        for row in reversed(self.px):
            for r, g, b, a in row:
                q = lambda v: max(0, min(255, int(v + 0.5)))
                out.append(q(b) | q(g) << 8 | q(r) << 16 | q(a * 255) << 24)
        return out

    def transposed(self):
        t = Img(self.h, self.w)
        for y in range(self.h):
            for x in range(self.w):
                t.px[x][y] = self.px[y][x]
        return t


# --- form frame (0 to 7) ----------------------------------------------------
# The frame pieces have the sizes the form layout is written against: top
# corners 5 x 30 and top edge 1 x 30 (the whole caption band, metric 0), side
# edges 5 x 1 (metric 1), bottom corners 8 x 40 and bottom edge 1 x 40 (the
# whole bottom band, metric 2).
CAP_H = 30     # metric 0
SIDE = 5       # metric 1
BOTTOM_H = 40  # metric 2
BOTTOM_CORNER_W = 8
INNER = mix(FORM, WHITE, 0.6)


def round_corner(im, corner_x, corner_y):
    """Cuts the outer pixel of a frame corner at (corner_x, corner_y) and
    puts the outline one step inside, so the corner reads as rounded."""
    dx = 1 if corner_x == 0 else -1
    dy = 1 if corner_y == 0 else -1
    for (x, y) in [(corner_x, corner_y), (corner_x + dx, corner_y), (corner_x, corner_y + dy)]:
        im.px[y][x] = (0.0, 0.0, 0.0, 0.0)
    im.blend(corner_x + dx, corner_y + dy, OUTLINE, 1.0)


def mirrored(im):
    out = Img(im.w, im.h)
    out.px = [list(reversed(row)) for row in im.px]
    return out


def caption_piece(w, corner):
    im = Img(w, CAP_H)
    im.vgrad(0, 0, w, CAP_H, CAPTION_TOP, FORM)
    im.rect(0, 0, w, 1, OUTLINE)
    im.rect(0, 1, w, 1, INNER)
    if corner:
        im.rect(0, 0, 1, CAP_H, OUTLINE)
        im.rect(1, 1, 1, CAP_H - 1, INNER)
        round_corner(im, 0, 0)
    return im


def side_piece(h):
    im = Img(SIDE, h, FORM)
    im.rect(0, 0, 1, h, OUTLINE)
    im.rect(1, 0, 1, h, INNER)
    return im


def bottom_piece(w, corner):
    im = Img(w, BOTTOM_H, FORM)
    im.rect(0, BOTTOM_H - 1, w, 1, OUTLINE)
    im.rect(0, BOTTOM_H - 2, w, 1, INNER)
    if corner:
        im.rect(0, 0, 1, BOTTOM_H, OUTLINE)
        im.rect(1, 0, 1, BOTTOM_H - 1, INNER)
        round_corner(im, 0, BOTTOM_H - 1)
    return im


def frame():
    top_left = caption_piece(SIDE, True)
    bottom_left = bottom_piece(BOTTOM_CORNER_W, True)
    return {
        0: top_left,
        1: caption_piece(1, False),
        2: mirrored(top_left),
        3: side_piece(1),
        4: mirrored(side_piece(1)),
        5: bottom_left,
        6: bottom_piece(1, False),
        7: mirrored(bottom_left),
    }


# --- buttons (23 to 27) and the popup arrow (28) ------------------------------
def button_backgrounds():
    # Stretched over or inside a button: vertical gradients only.
    looks = [
        (WHITE, mix(FORM, LIGHT_GREY, 0.4)),        # normal
        (ACCENT_LIGHT, mix(HOVER, WHITE, 0.3)),     # focused
        (WHITE, HOVER),                             # hover
        (PRESSED, mix(PRESSED, WHITE, 0.5)),        # pressed
        (mix(FORM, WHITE, 0.5), mix(FORM, WHITE, 0.5)),  # disabled
    ]
    out = {}
    for i, (top, bottom) in enumerate(looks):
        im = Img(4, 22)
        im.vgrad(0, 0, 4, 22, top, bottom)
        out[23 + i] = im
    return out


def down_arrow(w, h, col):
    im = Img(w, h)
    im.poly([(0, 0), (w, 0), (w / 2, h)], col)
    return im


# --- check boxes (30 to 35) ---------------------------------------------------
def check_box(checked, state):
    edge = {'normal': OUTLINE, 'focused': ACCENT, 'disabled': GREY}[state]
    top, bottom = {'normal': (mix(FORM, LIGHT_GREY, 0.5), WHITE),
                   'focused': (ACCENT_LIGHT, WHITE),
                   'disabled': (LIGHT_GREY, LIGHT_GREY)}[state]
    im = Img(10, 10, edge)
    im.vgrad(1, 1, 8, 8, top, bottom)
    if checked:
        mark = GREY if state == 'disabled' else TEXT
        im.line(2.3, 5.2, 4.2, 7.2, 1.5, mark)
        im.line(4.2, 7.2, 7.8, 2.6, 1.5, mark)
    return im


# --- icons 16 x 16 --------------------------------------------------------------
def folder(tint=YELLOW, dark=YELLOW_DARK):
    im = Img(16, 16)
    im.rrect(1, 2.5, 6, 3, 0.8, dark)
    im.rrect(1, 4, 14, 10, 1.0, dark)
    im.rrect(1.8, 4.8, 12.4, 8.4, 0.6, tint)
    im.rect(2, 5, 12, 1, mix(tint, WHITE, 0.5))
    return im


def page():
    im = Img(16, 16)
    im.poly([(3, 1), (10, 1), (13, 4), (13, 15), (3, 15)], GREY)
    im.poly([(4, 2), (9.5, 2), (12, 4.5), (12, 14), (4, 14)], WHITE)
    im.poly([(9.5, 1.5), (12.5, 4.5), (9.5, 4.5)], LIGHT_GREY)
    for y in (7, 9, 11):
        im.rect(5, y, 6, 1, mix(GREY, WHITE, 0.3))
    return im


def computer():
    im = Img(16, 16)
    im.rrect(1, 2, 14, 10, 1, TEXT)
    im.vgrad(2, 3, 12, 8, mix(BLUE, WHITE, 0.4), BLUE)
    im.rect(6, 12, 4, 2, GREY)
    im.rect(4, 14, 8, 1, TEXT)
    return im


def drive(offline=False):
    im = Img(16, 16)
    im.rrect(1, 5, 14, 7, 1.5, TEXT)
    im.vgrad(2, 6, 12, 5, WHITE, GREY)
    im.disc(12, 9.5, 1.1, RED if offline else GREEN)
    if offline:
        im.line(2, 2, 8, 8, 1.6, RED)
        im.line(8, 2, 2, 8, 1.6, RED)
    return im


def other_entry():
    im = Img(16, 16)
    im.poly([(8, 1.5), (14.5, 8), (8, 14.5), (1.5, 8)], GREY)
    im.poly([(8, 3.5), (12.5, 8), (8, 12.5), (3.5, 8)], LIGHT_GREY)
    return im


def check_mark(col):
    im = Img(16, 16)
    im.line(3, 8.5, 6.5, 12, 2.6, col)
    im.line(6.5, 12, 13, 4, 2.6, col)
    return im


def cross(col):
    im = Img(16, 16)
    im.line(4, 4, 12, 12, 2.6, col)
    im.line(12, 4, 4, 12, 2.6, col)
    return im


def folder_with_check():
    im = folder()
    im.disc(11.5, 11.5, 4.2, WHITE)
    im.line(9.3, 11.7, 11, 13.4, 1.6, GREEN)
    im.line(11, 13.4, 14, 9.6, 1.6, GREEN)
    return im


def new_folder():
    im = folder()
    im.disc(12, 4, 3.6, WHITE)
    im.line(12, 1.8, 12, 6.2, 1.5, GREEN)
    im.line(9.8, 4, 14.2, 4, 1.5, GREEN)
    return im


def disk():
    im = Img(16, 16)
    im.poly([(1.5, 1.5), (12.5, 1.5), (14.5, 3.5), (14.5, 14.5), (1.5, 14.5)], BLUE)
    im.rect(4, 2, 8, 5, WHITE)
    im.rect(9, 3, 2, 3, BLUE)
    im.rect(4, 9, 8, 5, mix(WHITE, LIGHT_GREY, 0.5))
    return im


def house():
    im = Img(16, 16)
    im.poly([(8, 1.5), (15, 8), (13, 8), (13, 14.5), (3, 14.5), (3, 8), (1, 8)], ACCENT_DARK)
    im.poly([(8, 3.5), (12, 7.5), (12, 13.5), (4, 13.5), (4, 7.5)], mix(YELLOW, WHITE, 0.4))
    im.rect(7, 10, 2, 4, ACCENT_DARK)
    return im


def places():
    im = Img(16, 16)
    pts = []
    for k in range(10):
        r = 7 if k % 2 == 0 else 3
        a = -math.pi / 2 + k * math.pi / 5
        pts.append((8 + r * math.cos(a), 8.5 + r * math.sin(a)))
    im.poly(pts, YELLOW_DARK)
    inner = [((x - 8) * 0.75 + 8, (y - 8.5) * 0.75 + 8.5) for x, y in pts]
    im.poly(inner, YELLOW)
    return im


def expander(kind):
    im = Img(16, 16)
    line = mix(GREY, WHITE, 0.2)
    if kind in ('tee', 'last'):
        im.rect(7, 0, 1, 16 if kind == 'tee' else 8, line)
        im.rect(8, 7, 8, 1, line)
        return im
    im.rect(3, 3, 9, 9, GREY)
    im.vgrad(4, 4, 7, 7, WHITE, mix(FORM, LIGHT_GREY, 0.5))
    im.rect(5, 7, 5, 1, TEXT)
    if kind == 'plus':
        im.rect(7, 5, 1, 5, TEXT)
    return im


def chevron(w, h, col, double=False):
    im = Img(w, h)
    offsets = [0, 4] if double else [0]
    for o in offsets:
        cx = 1.5 + o
        im.line(cx, h / 2 - 3, cx + 3, h / 2, 1.4, col)
        im.line(cx + 3, h / 2, cx, h / 2 + 3, 1.4, col)
    return im


# --- message box icons 27 x 27 (73 to 76) --------------------------------------
def message_icon(kind):
    im = Img(27, 27)
    if kind == 'warning':
        im.poly([(13.5, 1), (26, 25), (1, 25)], YELLOW_DARK)
        im.poly([(13.5, 3.5), (24, 23.8), (3, 23.8)], YELLOW)
        im.rrect(12.2, 9, 2.6, 9, 1.2, TEXT)
        im.disc(13.5, 20.8, 1.5, TEXT)
        return im
    base = {'info': BLUE, 'question': BLUE, 'error': RED}[kind]
    im.disc(13.5, 13.5, 12.8, mix(base, (0, 0, 0), 0.25))
    im.disc(13.5, 13.5, 11.8, base)
    im.shape(lambda x, y: (x - 13.5) ** 2 + (y - 9) ** 2 <= 70 and y < 12, mix(base, WHITE, 0.25))
    if kind == 'info':
        im.disc(13.5, 7.5, 1.8, WHITE)
        im.rrect(12, 11, 3, 9.5, 1, WHITE)
    elif kind == 'question':
        im.shape(lambda x, y: 9 <= (x - 13.5) ** 2 + (y - 10) ** 2 <= 24 and not (x < 13.5 and y > 10),
                 WHITE)
        im.rect(12, 14, 3, 3, WHITE)
        im.disc(13.5, 20.5, 1.7, WHITE)
    else:
        im.line(9, 9, 18, 18, 3, WHITE)
        im.line(18, 9, 9, 18, 3, WHITE)
    return im


# --- scroll bars --------------------------------------------------------------
T = 14          # metric 19, the bar thickness
CAP = 5         # part 0
ARROW = 9       # parts 5 and 6
SMALL_ARROW = 7  # parts 10 and 11
SEPARATOR = 2   # part 9
FILLER = 5      # parts 7 and 8, drawn 5 wide whatever their size
THUMB_CAP = 3   # parts 2 and 3
assert CAP + 2 * ARROW + SEPARATOR + 2 * FILLER == 35

STATES = ('normal', 'hover', 'pressed')
TRACK_LOOK = {'normal': TRACK, 'hover': mix(TRACK, HOVER, 0.5), 'pressed': mix(TRACK, PRESSED, 0.5)}
THUMB_LOOK = {'normal': (mix(HOVER, WHITE, 0.3), HOVER),
              'hover': (mix(HOVER, WHITE, 0.6), mix(HOVER, ACCENT, 0.15)),
              'pressed': (PRESSED, mix(PRESSED, ACCENT, 0.2))}
ARROW_BG = {'normal': mix(TRACK, WHITE, 0.3), 'hover': HOVER, 'pressed': PRESSED}


def track_piece(w, state):
    im = Img(w, T, TRACK_LOOK[state])
    im.rect(0, 0, w, 1, mix(TRACK_LOOK[state], OUTLINE, 0.35))
    return im


def start_cap():
    im = track_piece(CAP, 'normal')
    im.rect(0, 0, 1, T, mix(TRACK, OUTLINE, 0.35))
    return im


def thumb_piece(w, state, part):
    top, bottom = THUMB_LOOK[state]
    im = track_piece(w, 'normal')
    edge = mix(bottom, OUTLINE, 0.6)
    # thumb body from row 2 to row T - 2, rounded at the caps
    if part == 'middle':
        im.rect(0, 2, w, T - 4, edge)
        im.vgrad(0, 3, w, T - 6, top, bottom)
    else:
        x = 0.5 if part == 'start' else -3.5
        im.rrect(x, 2, w + 3, T - 4, 2.2, edge)
        im.rrect(x + 1, 3, w + 1, T - 6, 1.4, top)
    return im


def arrow_piece(w, state, forward):
    im = Img(w, T, ARROW_BG[state])
    im.rect(0, 0, w, 1, mix(TRACK, OUTLINE, 0.35))
    mid = T / 2 + 0.5
    if forward:
        im.poly([(w / 2 - 1.5, mid - 3.5), (w / 2 + 2, mid), (w / 2 - 1.5, mid + 3.5)], TEXT)
    else:
        im.poly([(w / 2 + 1.5, mid - 3.5), (w / 2 - 2, mid), (w / 2 + 1.5, mid + 3.5)], TEXT)
    return im


def filler(state):
    im = Img(FILLER, T, ARROW_BG[state])
    im.rect(0, 0, FILLER, 1, mix(TRACK, OUTLINE, 0.35))
    return im


def separator():
    im = Img(SEPARATOR, T, ARROW_BG['normal'])
    im.rect(0, 0, SEPARATOR, 1, mix(TRACK, OUTLINE, 0.35))
    im.rect(0, 3, 1, T - 6, mix(TRACK, OUTLINE, 0.5))
    im.rect(1, 3, 1, T - 6, WHITE)
    return im


def scroll_bar(base):
    """Parts of one bar at base (87 horizontal, 116 vertical), drawn
    horizontally; the vertical set is the same turned about the diagonal."""
    pics = {0: start_cap()}
    for i, s in enumerate(STATES):
        pics[1 + i] = track_piece(2, s)
        pics[4 + i] = thumb_piece(2, s, 'middle')
        pics[7 + i] = thumb_piece(THUMB_CAP, s, 'start')
        pics[10 + i] = thumb_piece(THUMB_CAP, s, 'end')
        pics[13 + i] = arrow_piece(ARROW, s, False)
        pics[16 + i] = arrow_piece(ARROW, s, True)
        pics[19 + i] = filler(s)
        pics[23 + i] = arrow_piece(SMALL_ARROW, s, False)
        pics[26 + i] = arrow_piece(SMALL_ARROW, s, True)
    pics[22] = separator()
    vertical = base == 116
    return {base + k: (v.transposed() if vertical else v) for k, v in pics.items()}


def scroll_corner():
    im = Img(T, T, TRACK)
    for k in range(3):
        for j in range(k + 1):
            im.rect(T - 4 - 3 * j, T - 4 - 3 * (k - j), 2, 2, mix(TRACK, OUTLINE, 0.6))
    return im


# --- all entries -----------------------------------------------------------------
def pictures():
    p = {}
    p.update(frame())
    p.update(button_backgrounds())
    p[28] = down_arrow(9, 5, TEXT)
    looks = {30: (False, 'normal'), 31: (True, 'normal'), 32: (False, 'focused'),
             33: (True, 'focused'), 34: (False, 'disabled'), 35: (True, 'disabled')}
    for k, (checked, state) in looks.items():
        p[k] = check_box(checked, state)
    p[42] = computer()
    p[43] = drive()
    p[44] = drive(offline=True)
    p[48] = folder()
    p[60] = page()
    p[63] = other_entry()
    p[68] = expander('plus')
    p[69] = expander('minus')
    p[70] = expander('tee')
    p[71] = expander('last')
    p[72] = chevron(9, 9, TEXT, double=True)
    p[73] = message_icon('info')
    p[74] = message_icon('question')
    p[75] = message_icon('warning')
    p[76] = message_icon('error')
    p[77] = check_mark(GREEN)
    p[78] = cross(RED)
    p[80] = folder_with_check()
    p[81] = disk()
    p[82] = house()
    p[83] = places()
    p[84] = new_folder()
    p[86] = scroll_corner()
    p.update(scroll_bar(87))
    p.update(scroll_bar(116))
    p[145] = chevron(7, 16, GREY)
    p[146] = chevron(7, 16, ACCENT)
    return p


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: theme_art.py OUTPUT.cpp')
    pics = pictures()
    lines = ['// Generated by gui/theme_art.py; edit that script, not this file.',
             '#include "gui/theme_art.h"', '', 'namespace {', '']
    entries = []
    for i in range(160):
        im = pics.get(i)
        if im is None:
            # Read by nothing: a solid colour, the form background.
            entries.append('    {1, 1, 0xF3E5DFu, nullptr},  // %d' % i)
            continue
        words = im.words()
        lines.append('const uint32_t kPic%d[%d] = {' % (i, len(words)))
        for k in range(0, len(words), 8):
            lines.append('    ' + ' '.join('0x%08Xu,' % w for w in words[k:k + 8]))
        lines.append('};')
        entries.append('    {%d, %d, 0xFFFFFFFFu, kPic%d},  // %d' % (im.w, im.h, i, i))
    lines += ['', '}  // namespace', '',
              'const sThemePictureEntry tw::kDefaultThemePictures[cCITheme::kPictureCount] = {']
    lines += entries
    lines += ['};', '']
    text = '\n'.join(lines)
    try:
        with open(sys.argv[1]) as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(sys.argv[1], 'w') as f:
        f.write(text)


if __name__ == '__main__':
    main()
