"""Push button whose ``onClick`` callable is called with no argument."""

from qtpy.QtWidgets import QPushButton

from zarnu.hooks.use_state import State

__all__ = ["Button"]


class Button(QPushButton):
    """``Button(text, onClick=None, parent=None)``.

    ``text`` may be a State; the button then follows its value.
    """

    def __init__(self, text="", onClick=None, parent=None):
        super().__init__(parent)
        self._onClick = onClick
        if isinstance(text, State):
            text.valueChanged.connect(self._show_text)
            text = text.value
        self._show_text(text)
        self.clicked.connect(self._clicked)

    def _show_text(self, text):
        self.setText("" if text is None else str(text))

    def _clicked(self, *_):
        if self._onClick is not None:
            self._onClick()
