"""Widget laying its children out in one column or one row."""

from qtpy.QtWidgets import QHBoxLayout, QVBoxLayout, QWidget

__all__ = ["Stack"]

_LAYOUTS = {"column": QVBoxLayout, "row": QHBoxLayout}


class Stack(QWidget):
    """``Stack(children=None, direction="column", spacing=0, parent=None)``."""

    def __init__(self, children=None, direction="column", spacing=0, parent=None):
        super().__init__(parent)
        try:
            layout_class = _LAYOUTS[direction]
        except (KeyError, TypeError):
            raise ValueError(
                f"direction must be 'column' or 'row', not {direction!r}"
            ) from None
        self.direction = direction
        layout = layout_class(self)
        layout.setContentsMargins(0, 0, 0, 0)
        layout.setSpacing(spacing)
        for child in children or ():
            layout.addWidget(child)
