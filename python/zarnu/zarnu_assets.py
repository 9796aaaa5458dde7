"""Icons of the library as inline SVG text, by name."""

__all__ = ["ZARNU_ASSETS"]

_SVG = (
    '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" '
    'width="24" height="24"><path fill="black" d="{}"/></svg>'
)

ZARNU_ASSETS = {
    "close": _SVG.format(
        "M19 6.4 17.6 5 12 10.6 6.4 5 5 6.4 10.6 12 5 17.6 6.4 19 12 13.4 "
        "17.6 19 19 17.6 13.4 12z"
    ),
    "menu": _SVG.format("M3 6h18v2H3zm0 5h18v2H3zm0 5h18v2H3z"),
    "chevron_left": _SVG.format("M15.4 7.4 14 6l-6 6 6 6 1.4-1.4L10.8 12z"),
    "chevron_right": _SVG.format("M8.6 16.6 10 18l6-6-6-6-1.4 1.4 4.6 4.6z"),
}
