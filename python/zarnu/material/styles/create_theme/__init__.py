"""Theme objects: a palette plus per-component style callables."""

from qtpy.QtCore import QObject, Signal

from .components.py_drawer import py_drawer_component

__all__ = ["Theme", "ThemeSignal", "theme_signal", "createTheme", "PALETTES"]


class ThemeSignal(QObject):
    """Emits ``changed()`` (no argument) after the current theme changed."""

    changed = Signal()


# One hub for every theme, so a connection made through any theme object
# keeps firing after the application switched themes.
theme_signal = ThemeSignal()

PALETTES = {
    "light": {
        "mode": "light",
        "primary": "#2f6fdb",
        "background": "#f7f7f8",
        "paper": "#ffffff",
        "text": "#1d1d22",
        "textSecondary": "#5c5c66",
        "divider": "rgba(0, 0, 0, 0.12)",
        "backdrop": "rgba(0, 0, 0, 0.5)",
    },
    "dark": {
        "mode": "dark",
        "primary": "#7fb0ff",
        "background": "#16161a",
        "paper": "#222228",
        "text": "#f1f1f4",
        "textSecondary": "#a9a9b3",
        "divider": "rgba(255, 255, 255, 0.14)",
        "backdrop": "rgba(0, 0, 0, 0.7)",
    },
}


class Theme:
    """A palette and the style entries of the components that use it."""

    signal = theme_signal

    def __init__(self, name, palette):
        self.name = name
        self.palette = palette
        self.components = {"PyDrawer": py_drawer_component(palette)}

    @property
    def mode(self):
        return self.palette["mode"]

    def __repr__(self):
        return f"Theme({self.name!r})"


def createTheme(mode="light", name=None, **palette):
    """Build a theme from the ``mode`` palette, overriding colours by keyword."""
    if mode not in PALETTES:
        raise ValueError(
            f"unknown theme mode {mode!r}; expected one of {sorted(PALETTES)}"
        )
    return Theme(name or mode, {**PALETTES[mode], **palette})
