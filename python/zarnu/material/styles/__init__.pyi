from .create_theme import Theme as Theme, createTheme as createTheme, theme_signal as theme_signal

__all__ = [
    "Theme",
    "createTheme",
    "useTheme",
    "setTheme",
    "toggleTheme",
    "themeNames",
    "theme_signal",
]

def useTheme() -> Theme:
    """Return the theme current at the moment of the call."""

def themeNames() -> list[str]: ...
def setTheme(theme: str | Theme) -> Theme:
    """Make ``theme`` (a name or a Theme) current; emits ``theme_signal.changed`` when it changed."""

def toggleTheme() -> Theme:
    """Switch between the light and the dark theme; return the new theme."""
