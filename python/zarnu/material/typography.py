"""Label with a typographic ``variant`` choosing its font size and weight."""

from qtpy.QtWidgets import QLabel

from zarnu.hooks.use_state import State

__all__ = ["Typography", "VARIANTS"]

# variant -> (pixel size, bold)
VARIANTS = {
    "h1": (40, True),
    "h2": (34, True),
    "h3": (28, True),
    "h4": (24, True),
    "h5": (20, True),
    "h6": (18, True),
    "subtitle1": (16, True),
    "subtitle2": (14, True),
    "body1": (16, False),
    "body2": (14, False),
    "caption": (12, False),
}


class Typography(QLabel):
    """``Typography(text, variant="body1", parent=None)``.

    ``text`` may be a State; the label then follows its value.
    """

    def __init__(self, text="", variant="body1", parent=None):
        super().__init__(parent)
        self.setVariant(variant)
        if isinstance(text, State):
            text.valueChanged.connect(self._show_text)
            text = text.value
        self._show_text(text)

    def _show_text(self, text):
        self.setText("" if text is None else str(text))

    def variant(self):
        return self._variant

    def setVariant(self, variant):
        try:
            size, bold = VARIANTS[variant]
        except (KeyError, TypeError):
            raise ValueError(
                f"unknown typography variant {variant!r}; expected one of "
                f"{', '.join(VARIANTS)}"
            ) from None
        self._variant = variant
        font = self.font()
        font.setPixelSize(size)
        font.setBold(bold)
        self.setFont(font)
