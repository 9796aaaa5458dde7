"""Reactive value holder shared by the widgets of the library."""

from qtpy.QtCore import QObject, Signal

__all__ = ["State", "unwrap"]


class State(QObject):
    """Holds one value and emits ``valueChanged(new_value)`` when it changes.

    A value counts as changed when ``old != new`` is true. When the comparison
    raises or returns something without a truth value (an array, say), the
    value is treated as changed.
    """

    valueChanged = Signal(object)

    def __init__(self, value=None, parent=None):
        super().__init__(parent)
        self._value = value

    @property
    def value(self):
        return self._value

    @value.setter
    def value(self, new_value):
        self.set(new_value)

    def get(self):
        return self._value

    def set(self, new_value):
        """Store ``new_value``; emit ``valueChanged`` only if it differs."""
        try:
            changed = bool(self._value != new_value)
        except Exception:
            changed = True
        if changed:
            self._value = new_value
            self.valueChanged.emit(new_value)
        return changed

    def __repr__(self):
        return f"State({self._value!r})"


def unwrap(value):
    """Return the current value of a State, or ``value`` itself otherwise."""
    return value.value if isinstance(value, State) else value
