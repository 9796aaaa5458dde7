from collections.abc import Iterable
from typing import Literal

from qtpy.QtWidgets import QWidget

__all__ = ["Stack"]

class Stack(QWidget):
    """Lays its children out in one column or one row, without margins."""

    direction: Literal["column", "row"]
    def __init__(
        self,
        children: Iterable[QWidget] | None = None,
        direction: Literal["column", "row"] = "column",
        spacing: int = 0,
        parent: QWidget | None = None,
    ) -> None: ...
