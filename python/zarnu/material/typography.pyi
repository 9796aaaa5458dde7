from qtpy.QtWidgets import QLabel, QWidget

from zarnu.hooks.use_state import State

__all__ = ["Typography", "VARIANTS"]

VARIANTS: dict[str, tuple[int, bool]]

class Typography(QLabel):
    """Label whose ``variant`` (a key of ``VARIANTS``) sets font size and weight."""

    def __init__(self, text: State | str = "", variant: str = "body1", parent: QWidget | None = None) -> None: ...
    def variant(self) -> str: ...
    def setVariant(self, variant: str) -> None: ...
