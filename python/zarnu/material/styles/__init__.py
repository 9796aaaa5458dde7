"""Current theme of the library, and switching between themes."""

from .create_theme import Theme, createTheme, theme_signal

__all__ = [
    "Theme",
    "createTheme",
    "useTheme",
    "setTheme",
    "toggleTheme",
    "themeNames",
    "theme_signal",
]

_themes = {"light": createTheme("light"), "dark": createTheme("dark")}
_current = _themes["light"]


def useTheme():
    """Return the theme current at the moment of the call."""
    return _current


def themeNames():
    return list(_themes)


def setTheme(theme):
    """Make ``theme`` (a theme name or a Theme) current.

    Emits ``theme.signal.changed`` once, with no argument, when the current
    theme actually changed. Returns the current theme.
    """
    global _current
    if isinstance(theme, str):
        try:
            theme = _themes[theme]
        except KeyError:
            raise ValueError(
                f"unknown theme {theme!r}; expected one of {themeNames()}"
            ) from None
    elif not isinstance(theme, Theme):
        raise TypeError(
            f"setTheme() expects a theme name or a Theme, not {type(theme).__name__}"
        )
    if theme is not _current:
        _current = theme
        theme_signal.changed.emit()
    return _current


def toggleTheme():
    """Switch between the light and the dark theme; return the new theme."""
    return setTheme("light" if _current.mode == "dark" else "dark")
