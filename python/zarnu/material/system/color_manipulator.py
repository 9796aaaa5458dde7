"""Small colour helpers working on CSS-like colour strings."""

import re

__all__ = ["alpha", "parse_rgb"]

_FUNC = re.compile(r"^rgba?\(\s*([^)]*)\)$", re.IGNORECASE)


def parse_rgb(color):
    """Return (r, g, b) for "#rgb", "#rrggbb", "rgb(...)" or "rgba(...)"."""
    text = color.strip() if isinstance(color, str) else ""
    if text.startswith("#") and len(text) in (4, 7):
        digits = text[1:]
        if len(digits) == 3:
            digits = "".join(c * 2 for c in digits)
        try:
            return tuple(int(digits[i:i + 2], 16) for i in (0, 2, 4))
        except ValueError:
            pass
    match = _FUNC.match(text)
    if match:
        parts = [p.strip() for p in match.group(1).split(",")]
        if len(parts) in (3, 4):
            try:
                rgb = tuple(int(float(p)) for p in parts[:3])
            except ValueError:
                rgb = None
            if rgb and all(0 <= c <= 255 for c in rgb):
                return rgb
    raise ValueError(f"unsupported colour {color!r}")


def alpha(color, opacity):
    """Return ``color`` with the given opacity (0..1) as "rgba(r, g, b, a)"."""
    if isinstance(opacity, bool) or not isinstance(opacity, (int, float)):
        raise TypeError(f"opacity must be a number, not {opacity!r}")
    if not 0 <= opacity <= 1:
        raise ValueError(f"opacity must lie between 0 and 1, not {opacity!r}")
    r, g, b = parse_rgb(color)
    return f"rgba({r}, {g}, {b}, {round(float(opacity), 3):g})"
