from typing import Any, ClassVar

from qtpy.QtCore import QObject, Signal

__all__ = ["I18n", "i18n", "translate", "TRANSLATIONS"]

DEFAULT_LANGUAGE: str
TRANSLATIONS: dict[str, dict[str, str]]

class I18n(QObject):
    """Holds the current language; emits ``langChanged()`` when it changes."""

    langChanged: ClassVar[Signal]
    def __init__(self, language: str = ..., parent: QObject | None = None) -> None: ...
    def language(self) -> str: ...
    def languages(self) -> list[str]: ...
    def setLanguage(self, code: str) -> None: ...

i18n: I18n

def translate(key: str, **fmt: Any) -> str: ...
