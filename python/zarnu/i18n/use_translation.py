"""Language of the user interface and the translation of short texts."""

from qtpy.QtCore import QObject, Signal

__all__ = ["I18n", "i18n", "translate", "TRANSLATIONS"]

DEFAULT_LANGUAGE = "en"

# key -> text, per language; a key missing here is shown as itself.
TRANSLATIONS = {
    "en": {},
    "fr": {
        "Open": "Ouvrir",
        "Close": "Fermer",
        "Menu": "Menu",
        "Settings": "Paramètres",
        "Theme": "Thème",
        "Language": "Langue",
        "Hello, {name}!": "Bonjour, {name} !",
    },
    "vi": {
        "Open": "Mở",
        "Close": "Đóng",
        "Menu": "Trình đơn",
        "Settings": "Cài đặt",
        "Theme": "Giao diện",
        "Language": "Ngôn ngữ",
        "Hello, {name}!": "Xin chào, {name}!",
    },
}


class I18n(QObject):
    """Holds the current language; emits ``langChanged()`` when it changes."""

    langChanged = Signal()

    def __init__(self, language=DEFAULT_LANGUAGE, parent=None):
        super().__init__(parent)
        self._language = language

    def language(self):
        return self._language

    def languages(self):
        return list(TRANSLATIONS)

    def setLanguage(self, code):
        if not isinstance(code, str) or not code:
            raise ValueError(f"a language code must be a non-empty str, not {code!r}")
        if code != self._language:
            self._language = code
            self.langChanged.emit()


i18n = I18n()


def translate(key, **fmt):
    """Return ``key`` in the current language, formatted with ``fmt`` if given.

    Unknown keys and languages fall back to the key itself; a placeholder
    that ``fmt`` does not fill leaves the text unformatted.
    """
    text = TRANSLATIONS.get(i18n.language(), {}).get(key, key)
    if fmt:
        try:
            text = text.format(**fmt)
        except (KeyError, IndexError, ValueError):
            pass
    return text
