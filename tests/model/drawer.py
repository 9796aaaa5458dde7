# Reference model of the Drawer widget in plain Python.
#
# Never shipped. It is the behavioural model that the C++ extension
# (zarnu.material.drawer.drawer) is compared against, a literal transcription
# (the binding's unscoped enum aliases included, which are slow to read); the
# benchmark's performance peers are in bench/peers/. With tests/ on sys.path
# (pytest puts it there; so does the benchmark): `from model import drawer`.
#
# The sibling modules are imported absolutely because this file lives outside
# the zarnu package; otherwise the import order is that of the extension.
from typing import Optional, Union, Dict, Callable, List
import uuid

from qtpy.QtWidgets import (
    QVBoxLayout,
    QWidget,
    QApplication,
    QFrame,
    QHBoxLayout,
    QSizePolicy,
    QSplitter,
    QGraphicsDropShadowEffect,
)
from qtpy.QtCore import Qt, QPoint, QEvent
from qtpy.QtGui import QKeyEvent, QColor

from zarnu.material.button import Button
from zarnu.material.typography import Typography
from zarnu.material.stack import Stack
from zarnu.material.styles import useTheme
from zarnu.i18n.use_translation import translate, i18n
from zarnu.hooks.use_state import State
from zarnu.material.styles.create_theme.components.get_qss_styles import get_qss_style
from zarnu.material.system.color_manipulator import alpha
from zarnu.zarnu_assets import ZARNU_ASSETS
from zarnu.material.utils.validate_params import _validate_param

from qtpy.QtCore import QEvent as _QEvent, QRect as _QRect, QRectF as _QRectF
from qtpy.QtGui import QGuiApplication as _QGuiApplication, QRegion as _QRegion
from qtpy.QtWidgets import QSplitterHandle as _QSplitterHandle
from . import _x11
import qtpy as _qtpy


# The drawer's relation to the window system: module-level helpers, so that the class keeps
# exactly its members. The event filter reaches them only from branches taken after a type
# test it makes anyway.

_replacing = False  # a re-placement started by the drawer's own move or resize is running


def _shadow_shown():
    # Everywhere but on an X display without a compositing manager, where what is translucent
    # shows black.
    return _QGuiApplication.platformName() != "xcb" or _x11.compositing() is not False


_QT5 = (_qtpy.QT_VERSION or "").startswith("5.")


def _repolish_on_qt5(drawer):
    # Qt 5 keeps the panel's background unpainted after a style sheet change when the host has
    # a style sheet of its own; polishing the panel again paints it. Nothing to repaint when
    # `_frm_content` has become something else.
    if not _QT5:
        return
    try:
        frame = drawer._frm_content
        style = frame.style()
        style.unpolish(frame)
        style.polish(frame)
    except Exception:
        pass


def _embedded():
    # Where the platform cannot place a client's top-level windows (a Wayland compositor puts
    # them where it likes), the drawer lives inside its anchor's top-level window instead.
    return _QGuiApplication.platformName().startswith("wayland")


def _embed(drawer, point):
    # The drawer as a frameless child widget of its anchor's top-level window, and the global
    # `point` in that window's coordinates. It is moved there while it is a window still, even
    # one whose parent is the host already (a drawer built with the host as its parent), or a
    # child of another window. Reparenting hides a widget: a visible drawer is shown again.
    anchor = drawer._anchorEl
    if not isinstance(anchor, QWidget):
        return point
    host = anchor.window()
    if host is drawer:
        return point
    if drawer.isWindow() or drawer.parentWidget() is not host:
        shown = drawer.isVisible()
        drawer.setParent(host, Qt.WindowType.FramelessWindowHint)
        if shown:
            drawer.setVisible(True)
    return host.mapFromGlobal(point)


def _set_up_window(drawer):
    # The native window belongs to the host's: a dialog-like type (with the widget's flags
    # unchanged) and the host's window as transient parent, read by the window system when
    # the window is mapped. A window-manager close destroys the native window, so this runs
    # before every show. Inside the host's window the drawer only goes above its siblings.
    anchor = drawer._anchorEl
    if not isinstance(anchor, QWidget):
        return
    if _embedded():
        drawer.raise_()
        return
    host = anchor.window().windowHandle()
    handle = drawer.windowHandle()
    if host is None or handle is None or host is handle:
        return
    handle.setFlags(handle.flags() | Qt.WindowType.Dialog)
    handle.setTransientParent(host)
    # Qt 6 leaves a transient window out of the last-window-closed count; Qt 5 counts every
    # visible parentless widget unless told otherwise.
    drawer.setAttribute(Qt.WidgetAttribute.WA_QuitOnClose, False)


def _follow_anchor(drawer):
    # The drawer's own move or resize: the splitter raising its minimum size, or the window
    # manager moving the new window, left it off its anchor; place it again while visible.
    # Inside the host's window (whose coordinates its geometry is in) neither happens.
    global _replacing
    if _replacing:
        return
    anchor = drawer._anchorEl
    if not isinstance(anchor, QWidget):
        return
    if drawer.geometry() == _QRect(anchor.mapToGlobal(QPoint(0, 0)), anchor.size()) or _embedded():
        return
    if drawer.isVisible():
        _replacing = True
        try:
            drawer.update_position()
        finally:
            _replacing = False


def _set_input_region(drawer, handle):
    # Only the panel takes the mouse; where the shadow can be shown, the band it falls on too
    # (on X the mask also clips what is shown). The panel's pane is read off the handle the
    # splitter has just placed between the panes (the panel may be placed only after it).
    # Never empty: an empty mask would mean no mask at all. Set only when it changes.
    rect = drawer.contentsRect()
    # The handle's geometry takes in a grab margin on either side of the cut when it is thin.
    cut = handle.geometry().marginsRemoved(handle.contentsMargins())
    frame = drawer._frm_content
    first = drawer.indexOf(frame) == 0
    if drawer.orientation() == Qt.Orientation.Horizontal:
        if first:
            rect.setRight(cut.left() - 1)
        else:
            rect.setLeft(cut.right() + 1)
    elif first:
        rect.setBottom(cut.top() - 1)
    else:
        rect.setTop(cut.bottom() + 1)
    if rect.isEmpty():
        rect = _QRect(rect.x(), rect.y(), 1, 1)
    elif _shadow_shown():
        effect = frame.graphicsEffect()
        if effect is not None:
            rect = effect.boundingRectFor(_QRectF(rect)).toAlignedRect()
        rect = rect.intersected(drawer.rect())
    region = _QRegion(rect)
    if drawer.mask() != region:
        drawer.setMask(region)


def _closed_by_window_manager(drawer):
    # A spontaneous close of the drawer's own window is the window manager's. It goes through
    # _close(); an exception there cannot leave the event delivery (one binding aborts the
    # process), so it is reported as unraisable, as Python reports what a finaliser raises.
    try:
        drawer._close()
    except Exception as exc:
        _Unraisable(exc)


class _Unraisable:
    def __init__(self, exc):
        self.exc = exc

    def __del__(self):
        raise self.exc


class Drawer(QSplitter):
    """
    A component that renders a drawer sliding in from a specified side.

    The drawer is a frameless, translucent top-level window laid over its
    anchor widget (the application's main window by default). One pane holds
    the content, the other is a transparent overlay.

    Parameters
    ----------
    parent : QWidget or None, optional
        The parent widget. Default is None.
    title : State, str or Callable, optional
        Title of the drawer. Default is "Drawer".
        Can be a `State` object for dynamic updates.
    anchor : State or str, optional
        Side from which the drawer appears: "left", "right", "top" or
        "bottom". Default is "left".
        Can be a `State` object for dynamic updates.
    anchorEl : State or QWidget, optional
        Widget over which the drawer is laid. Default is None (the main
        window).
        Can be a `State` object for dynamic updates.
    children : State, QWidget or list of QWidget, optional
        Content of the drawer. Default is None.
        Can be a `State` object for dynamic updates.
    classes : State or dict, optional
        Style overrides. Default is None.
        Can be a `State` object for dynamic updates.
    elevation : State or int, optional
        Elevation of the panel. Default is 16.
        Can be a `State` object for dynamic updates.
    hideBackdrop : State or bool, optional
        Whether the backdrop is hidden. Default is False.
        Can be a `State` object for dynamic updates.
    ModalProps : State or dict, optional
        Properties of the modal. Default is None.
        Can be a `State` object for dynamic updates.
    onClose : State or Callable, optional
        Callback fired when the drawer requests to be closed, with the
        signature function(event, reason), reason being "escapeKeyDown" or
        "backdropClick". Default is None.
        Can be a `State` object for dynamic updates.
    open : State or bool, optional
        Whether the drawer is open. Default is False.
        Can be a `State` object for dynamic updates.
    PaperProps : State or dict, optional
        Properties of the panel. Default is None.
        Can be a `State` object for dynamic updates.
    SlideProps : State or dict, optional
        Properties of the slide transition. Default is None.
        Can be a `State` object for dynamic updates.
    slotProps : State or dict, optional
        Properties of the slots. Default is None.
        Can be a `State` object for dynamic updates.
    slots : State or dict, optional
        Components used for the slots. Default is None.
        Can be a `State` object for dynamic updates.
    sx : State, dict, Callable or str, optional
        Extra style declarations. Default is None.
        Can be a `State` object for dynamic updates.
    transitionDuration : State, int or dict, optional
        Duration of the transitions in milliseconds. Default is
        {"enter": theme.transitions.duration.enteringScreen,
        "exit": theme.transitions.duration.leavingScreen}.
        Can be a `State` object for dynamic updates.
    variant : State or str, optional
        "permanent", "persistent" or "temporary". Default is "temporary".
        Can be a `State` object for dynamic updates.
    minWidth : State or int, optional
        Minimum width of the panel. Default is 300.
        Can be a `State` object for dynamic updates.
    maxWidth : State or int, optional
        Maximum width of the panel. Default is 600.
        Can be a `State` object for dynamic updates.
    minHeight : State or int, optional
        Minimum height of the panel. Default is 200.
        Can be a `State` object for dynamic updates.
    maxHeight : State or int, optional
        Maximum height of the panel. Default is 400.
        Can be a `State` object for dynamic updates.
    *args
        Additional positional arguments.
    **kwargs
        Additional keyword arguments passed to the parent class.

    Attributes
    ----------
    VALID_ANCHOR : list of str
        The accepted values of `anchor`.
    VALID_VARIANT : list of str
        The accepted values of `variant`.

    Notes
    -----
    `open` must be given as a `State`; the drawer follows its changes.

    Demos
    -----
    - Drawer: the "Drawer" page of the zarnu component demos.

    API Reference
    -------------
    - Drawer API: the "Drawer" page of the zarnu API documentation.
    """

    VALID_ANCHOR = ["bottom", "left", "right", "top"]
    VALID_VARIANT = ["permanent", "persistent", "temporary"]

    def __init__(
        self,
        parent: "Optional[QWidget]" = None,
        title: "Optional[Union[State, str, Callable]]" = "Drawer",
        anchor: "Union[State, str]" = "right",
        anchorEl: "Optional[Union[State, QWidget]]" = None,
        children: "Optional[Union[State, QWidget, List[QWidget]]]" = None,
        classes: "Optional[Union[State, Dict]]" = None,
        elevation: "Union[State, int]" = 16,
        hideBackdrop: "Union[State, bool]" = False,
        ModalProps: "Optional[Union[State, Dict]]" = None,
        onClose: "Optional[Union[State, Callable]]" = None,
        open: "Union[State, bool]" = False,
        PaperProps: "Optional[Union[State, Dict]]" = None,
        SlideProps: "Optional[Union[State, Dict]]" = None,
        slotProps: "Optional[Union[State, Dict]]" = None,
        slots: "Optional[Union[State, Dict]]" = None,
        sx: "Optional[Union[State, Dict, Callable, str]]" = None,
        transitionDuration: "Optional[Union[State, int, Dict]]" = None,
        variant: "Optional[Union[State, str]]" = "temporary",
        minWidth: "Optional[Union[State, int]]" = None,
        maxWidth: "Optional[Union[State, int]]" = None,
        minHeight: "Optional[Union[State, int]]" = None,
        maxHeight: "Optional[Union[State, int]]" = None,
        *args,
        **kwargs
    ):
        super().__init__(parent)
        self.setObjectName("PyDrawer")

        self.theme = useTheme()
        self._widget_references = []

        self._set_title(title)
        self._set_anchor(anchor)
        self._set_anchorEl(anchorEl)
        self._set_children(children)
        self._set_classes(classes)
        self._set_elevation(elevation)
        self._set_hideBackdrop(hideBackdrop)
        self._set_ModalProps(ModalProps or {})
        self._set_onClose(onClose)
        self._set_open(open)
        self._set_PaperProps(PaperProps or {})
        self._set_SlideProps(SlideProps or {})
        self._set_slotProps(slotProps or {})
        self._set_slots(slots or {})
        self._set_sx(sx)
        self._set_variant(variant)
        self._set_minWidth(minWidth)
        self._set_maxWidth(maxWidth)
        self._set_minHeight(minHeight)
        self._set_maxHeight(maxHeight)

        self.drawerMinWidth = minWidth
        self.drawerMaxWidth = maxWidth
        self.drawerMinHeight = minHeight
        self.drawerMaxHeight = maxHeight

        self._user_dragging = False

        self._init_ui()

    # Setters and Getters

    @_validate_param(file_path="zarnu.material.drawer", param_name="title", supported_signatures=Union[State, str, Callable])
    def _set_title(self, value):
        """Assign value to title (custom feature)."""
        self._title = value

    def _get_title(self):
        """Get the title value."""
        return self._title.value if isinstance(self._title, State) else self._title

    @_validate_param(file_path="zarnu.material.drawer", param_name="anchor", supported_signatures=Union[State, str], valid_values=VALID_ANCHOR)
    def _set_anchor(self, value):
        """Assign value to anchor."""
        self._anchor = value

    def _get_anchor(self):
        """Get the anchor value."""
        return self._anchor.value if isinstance(self._anchor, State) else self._anchor

    @_validate_param(file_path="zarnu.material.drawer", param_name="anchorEl", supported_signatures=Union[State, QWidget, None])
    def _set_anchorEl(self, value):
        """Assign value to anchorEl (custom feature)."""
        self._anchorEl = value

    def _get_anchorEl(self):
        """Get the anchorEl value."""
        return self._anchorEl.value if isinstance(self._anchorEl, State) else self._anchorEl

    def _set_children(self, value):
        """Assign value to children and store widget references."""
        self._children = value

    def _get_children(self):
        """Get the children value."""
        return self._children.value if isinstance(self._children, State) else self._children

    @_validate_param(file_path="zarnu.material.drawer", param_name="classes", supported_signatures=Union[State, Dict, None])
    def _set_classes(self, value):
        """Assign value to classes."""
        self._classes = value

    def _get_classes(self):
        """Get the classes value."""
        return self._classes.value if isinstance(self._classes, State) else self._classes

    @_validate_param(file_path="zarnu.material.drawer", param_name="elevation", supported_signatures=Union[State, int])
    def _set_elevation(self, value):
        """Assign value to elevation."""
        self._elevation = value

    def _get_elevation(self):
        """Get the elevation value."""
        return self._elevation.value if isinstance(self._elevation, State) else self._elevation

    @_validate_param(file_path="zarnu.material.drawer", param_name="hideBackdrop", supported_signatures=Union[State, bool])
    def _set_hideBackdrop(self, value):
        """Assign value to hideBackdrop."""
        self._hideBackdrop = value

    def _get_hideBackdrop(self):
        """Get the hideBackdrop value."""
        return self._hideBackdrop.value if isinstance(self._hideBackdrop, State) else self._hideBackdrop

    @_validate_param(file_path="zarnu.material.drawer", param_name="ModalProps", supported_signatures=Union[State, Dict, None])
    def _set_ModalProps(self, value):
        """Assign value to ModalProps."""
        self._ModalProps = value

    def _get_ModalProps(self):
        """Get the ModalProps value."""
        return self._ModalProps.value if isinstance(self._ModalProps, State) else self._ModalProps

    @_validate_param(file_path="zarnu.material.drawer", param_name="onClose", supported_signatures=Union[State, Callable, None])
    def _set_onClose(self, value):
        """Assign value to onClose."""
        self._onClose = value

    def _get_onClose(self):
        """Get the onClose value."""
        return self._onClose.value if isinstance(self._onClose, State) else self._onClose

    @_validate_param(file_path="zarnu.material.drawer", param_name="open", supported_signatures=Union[State, bool])
    def _set_open(self, value):
        """Assign value to open."""
        self._open = value

    def _get_open(self):
        """Get the open value."""
        return self._open.value if isinstance(self._open, State) else self._open

    @_validate_param(file_path="zarnu.material.drawer", param_name="PaperProps", supported_signatures=Union[State, Dict, None])
    def _set_PaperProps(self, value):
        """Assign value to PaperProps."""
        self._PaperProps = value

    def _get_PaperProps(self):
        """Get the PaperProps value."""
        return self._PaperProps.value if isinstance(self._PaperProps, State) else self._PaperProps

    @_validate_param(file_path="zarnu.material.drawer", param_name="SlideProps", supported_signatures=Union[State, Dict, None])
    def _set_SlideProps(self, value):
        """Assign value to SlideProps."""
        self._SlideProps = value

    def _get_SlideProps(self):
        """Get the SlideProps value."""
        return self._SlideProps.value if isinstance(self._SlideProps, State) else self._SlideProps

    @_validate_param(file_path="zarnu.material.drawer", param_name="slotProps", supported_signatures=Union[State, Dict, None])
    def _set_slotProps(self, value):
        """Assign value to slotProps."""
        self._slotProps = value

    def _get_slotProps(self):
        """Get the slotProps value."""
        return self._slotProps.value if isinstance(self._slotProps, State) else self._slotProps

    @_validate_param(file_path="zarnu.material.drawer", param_name="slots", supported_signatures=Union[State, Dict, None])
    def _set_slots(self, value):
        """Assign value to slots."""
        self._slots = value

    def _get_slots(self):
        """Get the slots value."""
        return self._slots.value if isinstance(self._slots, State) else self._slots

    @_validate_param(file_path="zarnu.material.drawer", param_name="sx", supported_signatures=Union[State, Dict, Callable, str, None])
    def _set_sx(self, value):
        """Assign value to sx."""
        self._sx = value

    def _get_sx(self):
        """Get the sx value."""
        return self._sx.value if isinstance(self._sx, State) else self._sx

    @_validate_param(file_path="zarnu.material.drawer", param_name="transitionDuration", supported_signatures=Union[State, int, Dict, None])
    def _set_transitionDuration(self, value):
        """Assign value to transitionDuration."""
        self._transitionDuration = value

    def _get_transitionDuration(self):
        """Get the transitionDuration value."""
        return self._transitionDuration.value if isinstance(self._transitionDuration, State) else self._transitionDuration

    @_validate_param(file_path="zarnu.material.drawer", param_name="variant", supported_signatures=Union[State, str, None], valid_values=VALID_VARIANT)
    def _set_variant(self, value):
        """Assign value to variant."""
        self._variant = value

    def _get_variant(self):
        """Get the variant value."""
        return self._variant.value if isinstance(self._variant, State) else self._variant

    @_validate_param(file_path="zarnu.material.drawer", param_name="minWidth", supported_signatures=Union[State, int, None])
    def _set_minWidth(self, value):
        """Assign value to minWidth (custom feature)."""
        self._minWidth = value

    def _get_minWidth(self):
        """Get the minWidth value."""
        return self._minWidth.value if isinstance(self._minWidth, State) else self._minWidth

    @_validate_param(file_path="zarnu.material.drawer", param_name="maxWidth", supported_signatures=Union[State, int, None])
    def _set_maxWidth(self, value):
        """Assign value to maxWidth (custom feature)."""
        self._maxWidth = value

    def _get_maxWidth(self):
        """Get the maxWidth value."""
        return self._maxWidth.value if isinstance(self._maxWidth, State) else self._maxWidth

    @_validate_param(file_path="zarnu.material.drawer", param_name="minHeight", supported_signatures=Union[State, int, None])
    def _set_minHeight(self, value):
        """Assign value to minHeight (custom feature)."""
        self._minHeight = value

    def _get_minHeight(self):
        """Get the minHeight value."""
        return self._minHeight.value if isinstance(self._minHeight, State) else self._minHeight

    @_validate_param(file_path="zarnu.material.drawer", param_name="maxHeight", supported_signatures=Union[State, int, None])
    def _set_maxHeight(self, value):
        """Assign value to maxHeight (custom feature)."""
        self._maxHeight = value

    def _get_maxHeight(self):
        """Get the maxHeight value."""
        return self._maxHeight.value if isinstance(self._maxHeight, State) else self._maxHeight

    def _init_ui(self):
        self.setObjectName("PyDrawer")
        self.setWindowFlags(Qt.Window | Qt.FramelessWindowHint)
        self.setAttribute(Qt.WA_TranslucentBackground, True)
        self.setAutoFillBackground(False)

        self._frm_content = QFrame(self)
        self._frm_content.setObjectName("contentFrame")
        self._contentLayout = QVBoxLayout(self._frm_content)

        self._overlay = QWidget(self)
        self._overlay.setAttribute(Qt.WA_TransparentForMouseEvents, True)
        self._overlay.setAutoFillBackground(False)
        self._overlay.setSizePolicy(QSizePolicy.Expanding, QSizePolicy.Expanding)
        self._overlay.setStyleSheet("background-color: transparent;")

        self.setHandleWidth(0)
        self.setChildrenCollapsible(True)
        self.setOpaqueResize(True)

        if self._anchor == "left":
            self.setOrientation(Qt.Orientation.Horizontal)
            self.addWidget(self._frm_content)
            self.addWidget(self._overlay)
            self.setSizes([self.drawerMinWidth, 50])
            self.setContentsMargins(1, 0, 0, 0)
        elif self._anchor == "right":
            self.setOrientation(Qt.Orientation.Horizontal)
            self.addWidget(self._overlay)
            self.addWidget(self._frm_content)
            self.setSizes([50000, self.drawerMinWidth])
            self.setContentsMargins(0, 0, 1, 1)
            if self.drawerMinWidth is not None:
                self._frm_content.setMinimumWidth(self.drawerMinWidth)
            if self.drawerMaxWidth is not None:
                self._frm_content.setMaximumWidth(self.drawerMaxWidth)
        elif self._anchor == "top":
            self.setOrientation(Qt.Orientation.Vertical)
            self.addWidget(self._frm_content)
            self.addWidget(self._overlay)
            self.setSizes([self.drawerMinWidth, 50])
            self.setContentsMargins(0, 1, 0, 0)
            if self.drawerMinHeight is not None:
                self._frm_content.setMinimumHeight(self.drawerMinHeight)
            if self.drawerMaxHeight is not None:
                self._frm_content.setMaximumHeight(self.drawerMaxHeight)
        elif self._anchor == "bottom":
            self.setOrientation(Qt.Orientation.Vertical)
            self.addWidget(self._overlay)
            self.addWidget(self._frm_content)
            self.setSizes([50, self.drawerMinWidth])
            self.setContentsMargins(0, 1, 0, 0)
            if self.drawerMinHeight is not None:
                self._frm_content.setMinimumHeight(self.drawerMinHeight)
            if self.drawerMaxHeight is not None:
                self._frm_content.setMaximumHeight(self.drawerMaxHeight)

        if self._children is not None:
            if isinstance(self._children, list):
                for child in self._children:
                    self._contentLayout.addWidget(child)
            elif isinstance(self._children, QWidget):
                self._contentLayout.addWidget(self._children)

        if not isinstance(self._open, State):
            raise ValueError("The attribute 'open' only accepts input in the form of State.")
        self._open.valueChanged.connect(self._show)

        self.installEventFilter(self)
        if self._anchorEl and isinstance(self._anchorEl, QWidget):
            self._anchorEl.installEventFilter(self)
        QApplication.instance().mainWindow.installEventFilter(self)

        self.theme = useTheme()
        self.theme.signal.changed.connect(self._set_stylesheet)
        self._set_stylesheet()

        i18n.langChanged.connect(self.reTranslation)

        self.handle(1).installEventFilter(self)

    def _set_stylesheet(self):
        self.theme = useTheme()
        component_styles = self.theme.components
        ownerState = {
            "anchor": self._anchor,
            "variant": self._variant,
        }
        PyDrawer_root = component_styles["PyDrawer"].get("styles")["root"](ownerState)
        PyDrawer_root_qss = get_qss_style(PyDrawer_root)

        sx_qss = ""
        if self._sx:
            if isinstance(self._sx, dict):
                sx_qss = get_qss_style(self._sx)
            elif isinstance(self._sx, Callable):
                sx = self._sx()
                if isinstance(sx, dict):
                    sx_qss = get_qss_style(sx)
                elif isinstance(sx, str):
                    sx_qss = sx
            elif isinstance(self._sx, str):
                sx_qss = self._sx

        self.setStyleSheet(f"""
                #PyDrawer {{
                    {PyDrawer_root_qss}
                    {sx_qss}
                    
                }}
                #contentFrame {{
                    background-color: white;
                }}
            """)
        _repolish_on_qt5(self)
        self.setShadowEffect()

    def setShadowEffect(self, blurRadius=60, offset=(0, 10), color=QColor(0, 0, 0, 50)):
        """ add shadow to dialog """
        try:
            shadowEffect = QGraphicsDropShadowEffect(self._frm_content)
            shadowEffect.setBlurRadius(blurRadius)
            shadowEffect.setOffset(*offset)
            shadowEffect.setColor(color)
            self._frm_content.setGraphicsEffect(None)
            self._frm_content.setGraphicsEffect(shadowEffect)
        except Exception:
            pass

    def reTranslation(self):
        pass

    def _show(self, state: "bool"):
        if state and not self.isVisible():
            self.update_position()
            self.setVisible(True)
        else:
            self.setVisible(False)

    def _close(self):
        self.setVisible(False)
        if self._onClose:
            self._onClose()

    def showDrawer(self):
        self.update_position()
        self.setVisible(True)

    def update_position(self):
        if not self._anchorEl:
            self._anchorEl = QApplication.instance().mainWindow
        self.setMinimumSize(0, 0)  # the splitter raises it to its panes' minimums
        popup_position = self._anchorEl.mapToGlobal(QPoint(0, 0))
        if _embedded():
            popup_position = _embed(self, popup_position)
        self.setGeometry(popup_position.x(), popup_position.y(), self._anchorEl.width(), self._anchorEl.height())

    def eventFilter(self, source, event):
        if event.type() == QEvent.Resize or event.type() == QEvent.Move:
            if source == self._anchorEl:
                if self.isVisible():
                    self.update_position()
            elif source is self:
                _follow_anchor(self)
            elif isinstance(source, _QSplitterHandle):
                # The handle moves or resizes once the splitter has laid out its panes.
                _set_input_region(self, source)

        if event.type() == QEvent.MouseButtonPress:
            self._user_dragging = True
        elif (kind := event.type()) == QEvent.MouseButtonRelease and self._user_dragging:
            self._user_dragging = False
            self.refresh()
            self.update()
        elif source is self:
            if kind == _QEvent.Type.Show:
                _set_up_window(self)
            elif kind == _QEvent.Type.Close and event.spontaneous():
                _closed_by_window_manager(self)

        return super().eventFilter(source, event)
