# The drawer written in plain Python the way an application developer would write it:
# the same class and the same calls as the test model (tests/model/drawer.py),
# but with the binding's scoped enum access (QEvent.Type.Resize, Qt.WindowType.Window, ...)
# instead of the old unscoped aliases, which the binding resolves slowly on every read.
#
# Bench-only: the interpreted performance peer of bench/run.py and the source of its Cython
# build. Put bench/peers/ and tests/ on sys.path and `import drawer_plain`.
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

# The drawer's relation to the window system (transient parent, input region, the window
# manager's close): the same module-level helpers as the test model's, imported from tests/,
# which the benchmark puts on sys.path.
from model.drawer import (_QSplitterHandle, _closed_by_window_manager, _embed, _embedded, _follow_anchor,
                          _set_input_region, _set_up_window)


class Drawer(QSplitter):
    """A drawer sliding in from one side, laid over its anchor widget as a frameless,
    translucent top-level window (see the test model for the parameters)."""

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
        self.setWindowFlags(Qt.WindowType.Window | Qt.WindowType.FramelessWindowHint)
        self.setAttribute(Qt.WidgetAttribute.WA_TranslucentBackground, True)
        self.setAutoFillBackground(False)

        self._frm_content = QFrame(self)
        self._frm_content.setObjectName("contentFrame")
        self._contentLayout = QVBoxLayout(self._frm_content)

        self._overlay = QWidget(self)
        self._overlay.setAttribute(Qt.WidgetAttribute.WA_TransparentForMouseEvents, True)
        self._overlay.setAutoFillBackground(False)
        self._overlay.setSizePolicy(QSizePolicy.Policy.Expanding, QSizePolicy.Policy.Expanding)
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

    def _show(self, state):
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
        if event.type() == QEvent.Type.Resize or event.type() == QEvent.Type.Move:
            if source == self._anchorEl:
                if self.isVisible():
                    self.update_position()
            elif source is self:
                _follow_anchor(self)
            elif isinstance(source, _QSplitterHandle):
                _set_input_region(self, source)

        if event.type() == QEvent.Type.MouseButtonPress:
            self._user_dragging = True
        elif (kind := event.type()) == QEvent.Type.MouseButtonRelease and self._user_dragging:
            self._user_dragging = False
            self.refresh()
            self.update()
        elif source is self:
            if kind == QEvent.Type.Show:
                _set_up_window(self)
            elif kind == QEvent.Type.Close and event.spontaneous():
                _closed_by_window_manager(self)

        return super().eventFilter(source, event)
