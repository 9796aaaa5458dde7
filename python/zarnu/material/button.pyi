from collections.abc import Callable

from qtpy.QtWidgets import QPushButton, QWidget

from zarnu.hooks.use_state import State

__all__ = ["Button"]

class Button(QPushButton):
    """Push button whose ``onClick`` is called with no argument; ``text`` may be a State."""

    def __init__(
        self,
        text: State | str = "",
        onClick: Callable[[], object] | None = None,
        parent: QWidget | None = None,
    ) -> None: ...
