"""Type information for the compiled module ``zarnu.material.drawer.drawer``.

Every prop accepts a plain value or a ``State``; the setters store what they
are given, the getters return a ``State``'s current value. Construction needs
``open`` as a ``State`` and, for the four anchors, ``minWidth`` as an ``int``.
"""

from collections.abc import Callable, Iterable
from typing import Any, ClassVar, Literal, TypeAlias

from qtpy.QtCore import QEvent, QObject
from qtpy.QtGui import QColor
from qtpy.QtWidgets import QFrame, QSplitter, QVBoxLayout, QWidget

from zarnu.hooks.use_state import State
from zarnu.material.styles import Theme
from zarnu.zarnu_assets import ZARNU_ASSETS as ZARNU_ASSETS

# Names of the stub only (the module has none of them): the accepted forms of some props.
_Anchor: TypeAlias = Literal["bottom", "left", "right", "top"]
"""The sides a drawer can sit on (``Drawer.VALID_ANCHOR``)."""

_Variant: TypeAlias = Literal["permanent", "persistent", "temporary"]
"""The values of ``variant`` (``Drawer.VALID_VARIANT``)."""

_StyleDict: TypeAlias = dict[str, Any]
"""Style properties in camelCase, as ``get_qss_style`` takes them."""

_SxCallable: TypeAlias = Callable[[], _StyleDict | str | None]
"""An ``sx`` callable, called with no argument at each restyle."""

class Drawer(QSplitter):
    """A panel shown at one side of the main window (or of ``anchorEl``).

    The drawer is a frameless translucent window laid over its anchor widget,
    split into a content frame (the panel, holding ``children``) and a
    transparent overlay. It starts hidden; ``showDrawer()`` or a true value
    signalled by the ``open`` state opens it.
    """

    VALID_ANCHOR: ClassVar[list[str]]
    VALID_VARIANT: ClassVar[list[str]]

    # Set by the constructor and the widget tree.
    theme: Theme
    drawerMinWidth: State | int | None
    drawerMaxWidth: State | int | None
    drawerMinHeight: State | int | None
    drawerMaxHeight: State | int | None
    _user_dragging: bool
    _widget_references: list[Any]
    _frm_content: QFrame
    _contentLayout: QVBoxLayout
    _overlay: QWidget

    # The props as stored by their setters (a State stays a State).
    _title: State | str | Callable[..., Any]
    _anchor: State | str
    _anchorEl: State | QWidget | None
    _children: Any
    _classes: State | dict[str, Any] | None
    _elevation: State | int
    _hideBackdrop: State | bool
    _ModalProps: State | dict[str, Any]
    _onClose: State | Callable[[], object] | None
    _open: State | bool
    _PaperProps: State | dict[str, Any]
    _SlideProps: State | dict[str, Any]
    _slotProps: State | dict[str, Any]
    _slots: State | dict[str, Any]
    _sx: State | _StyleDict | _SxCallable | str | None
    _transitionDuration: State | int | dict[str, Any] | None
    """Exists only after ``_set_transitionDuration``: the constructor does not store it."""
    _variant: State | str | None
    _minWidth: State | int | None
    _maxWidth: State | int | None
    _minHeight: State | int | None
    _maxHeight: State | int | None

    def __init__(
        self,
        parent: QWidget | None = None,
        title: State | str | Callable[..., Any] = "Drawer",
        anchor: State | _Anchor = "right",
        anchorEl: State | QWidget | None = None,
        children: State | QWidget | list[QWidget] | None = None,
        classes: State | dict[str, Any] | None = None,
        elevation: State | int = 16,
        hideBackdrop: State | bool = False,
        ModalProps: State | dict[str, Any] | None = None,
        onClose: State | Callable[[], object] | None = None,
        open: State | bool = False,
        PaperProps: State | dict[str, Any] | None = None,
        SlideProps: State | dict[str, Any] | None = None,
        slotProps: State | dict[str, Any] | None = None,
        slots: State | dict[str, Any] | None = None,
        sx: State | _StyleDict | _SxCallable | str | None = None,
        transitionDuration: State | int | dict[str, Any] | None = None,
        variant: State | _Variant | None = "temporary",
        minWidth: State | int | None = None,
        maxWidth: State | int | None = None,
        minHeight: State | int | None = None,
        maxHeight: State | int | None = None,
        *args: Any,
        **kwargs: Any,
    ) -> None:
        """Build the drawer, hidden.

        ``open`` must be a ``State`` (a bool is refused with ``ValueError``)
        and ``minWidth`` an ``int`` (it becomes the panel's initial splitter
        size). ``transitionDuration``, surplus positional arguments and
        unknown keywords are accepted and ignored.
        """

    # Prop accessors: ``_set_<prop>`` stores the value as given (validated
    # against the accepted forms, except ``children``); ``_get_<prop>``
    # returns the plain value, unwrapping a State at the time of the call.
    def _set_title(self, value: State | str | Callable[..., Any]) -> None: ...
    def _get_title(self) -> Any: ...
    def _set_anchor(self, value: State | _Anchor) -> None: ...
    def _get_anchor(self) -> Any: ...
    def _set_anchorEl(self, value: State | QWidget | None) -> None: ...
    def _get_anchorEl(self) -> Any: ...
    def _set_children(self, value: Any) -> None: ...
    def _get_children(self) -> Any: ...
    def _set_classes(self, value: State | dict[str, Any] | None) -> None: ...
    def _get_classes(self) -> Any: ...
    def _set_elevation(self, value: State | int) -> None: ...
    def _get_elevation(self) -> Any: ...
    def _set_hideBackdrop(self, value: State | bool) -> None: ...
    def _get_hideBackdrop(self) -> Any: ...
    def _set_ModalProps(self, value: State | dict[str, Any] | None) -> None: ...
    def _get_ModalProps(self) -> Any: ...
    def _set_onClose(self, value: State | Callable[[], object] | None) -> None: ...
    def _get_onClose(self) -> Any: ...
    def _set_open(self, value: State | bool) -> None: ...
    def _get_open(self) -> Any: ...
    def _set_PaperProps(self, value: State | dict[str, Any] | None) -> None: ...
    def _get_PaperProps(self) -> Any: ...
    def _set_SlideProps(self, value: State | dict[str, Any] | None) -> None: ...
    def _get_SlideProps(self) -> Any: ...
    def _set_slotProps(self, value: State | dict[str, Any] | None) -> None: ...
    def _get_slotProps(self) -> Any: ...
    def _set_slots(self, value: State | dict[str, Any] | None) -> None: ...
    def _get_slots(self) -> Any: ...
    def _set_sx(self, value: State | _StyleDict | _SxCallable | str | None) -> None: ...
    def _get_sx(self) -> Any: ...
    def _set_transitionDuration(self, value: State | int | dict[str, Any] | None) -> None: ...
    def _get_transitionDuration(self) -> Any:
        """Raises ``AttributeError`` until ``_set_transitionDuration`` was called."""
    def _set_variant(self, value: State | _Variant | None) -> None: ...
    def _get_variant(self) -> Any: ...
    def _set_minWidth(self, value: State | int | None) -> None: ...
    def _get_minWidth(self) -> Any: ...
    def _set_maxWidth(self, value: State | int | None) -> None: ...
    def _get_maxWidth(self) -> Any: ...
    def _set_minHeight(self, value: State | int | None) -> None: ...
    def _get_minHeight(self) -> Any: ...
    def _set_maxHeight(self, value: State | int | None) -> None: ...
    def _get_maxHeight(self) -> Any: ...

    def _init_ui(self) -> None:
        """Build the panes and connect the drawer (called once, by ``__init__``)."""
    def _set_stylesheet(self) -> None:
        """Rebuild the style sheet from the current theme and ``sx``, then
        restore the default shadow (the slot of the theme's ``signal.changed``)."""
    def setShadowEffect(
        self,
        blurRadius: float = 60,
        offset: Iterable[float] = (0, 10),
        color: QColor = ...,
    ) -> None:
        """Put a drop shadow on the panel, replacing its previous effect.

        ``offset`` is unpacked into the effect's ``setOffset`` (dx, dy).
        ``color`` defaults to black with alpha 50. Unusable arguments are
        ignored silently.
        """
    def reTranslation(self) -> None:
        """Slot of the language signal; the drawer shows no text, so it does nothing."""
    def _show(self, state: object) -> None:
        """Slot of the ``open`` state: a true value opens a hidden drawer and
        hides a visible one; a false value hides it."""
    def _close(self) -> None:
        """Hide the drawer, then call ``onClose()`` (no arguments) if it is set."""
    def showDrawer(self) -> None:
        """Lay the drawer over its anchor widget and show it."""
    def update_position(self) -> None:
        """Give the drawer window the anchor widget's global rectangle."""
    def eventFilter(self, source: QObject | None, event: QEvent | None) -> bool:
        """Follow the anchor widget's moves and resizes while visible; refresh
        the splitter after a mouse press and release. Returns the base class's
        result."""
