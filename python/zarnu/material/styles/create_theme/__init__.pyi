from typing import Any, ClassVar

from qtpy.QtCore import QObject, Signal

__all__ = ["Theme", "ThemeSignal", "theme_signal", "createTheme", "PALETTES"]

class ThemeSignal(QObject):
    """Emits ``changed()`` (no argument) after the current theme changed."""

    changed: ClassVar[Signal]

theme_signal: ThemeSignal
PALETTES: dict[str, dict[str, str]]

class Theme:
    """A palette and the style entries of the components that use it."""

    signal: ClassVar[ThemeSignal]
    name: str
    palette: dict[str, str]
    components: dict[str, Any]
    def __init__(self, name: str, palette: dict[str, str]) -> None: ...
    @property
    def mode(self) -> str: ...

def createTheme(mode: str = "light", name: str | None = None, **palette: str) -> Theme: ...
