from typing import Any, ClassVar

from qtpy.QtCore import QObject, Signal

__all__ = ["State", "unwrap"]

class State(QObject):
    """Holds one value and emits ``valueChanged(new_value)`` when it changes."""

    valueChanged: ClassVar[Signal]
    def __init__(self, value: Any = None, parent: QObject | None = None) -> None: ...
    @property
    def value(self) -> Any: ...
    @value.setter
    def value(self, new_value: Any) -> None: ...
    def get(self) -> Any: ...
    def set(self, new_value: Any) -> bool:
        """Store ``new_value``; emit ``valueChanged`` only if it differs. Returns whether it did."""

def unwrap(value: Any) -> Any:
    """Return the current value of a State, or ``value`` itself otherwise."""
