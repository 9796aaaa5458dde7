"""The demo gallery: its window, its drawers and the pictures it renders."""

import pytest
from qtpy.QtCore import QCoreApplication, QEvent, QPoint, QRect
from qtpy.QtGui import QColor, QImage

from zarnu import demo
from zarnu.material.button import Button
from zarnu.material.styles import setTheme, useTheme

_MISSING = object()


@pytest.fixture
def gallery(qapp):
    previous_main = getattr(qapp, "mainWindow", _MISSING)
    previous_theme = useTheme()
    window = demo.build_gallery()
    window.show()
    demo.settle(qapp)
    yield window
    setTheme(previous_theme)
    window.close()
    window.deleteLater()
    QCoreApplication.sendPostedEvents(None, QEvent.Type.DeferredDelete)
    if previous_main is _MISSING:
        del qapp.mainWindow
    else:
        qapp.mainWindow = previous_main


def global_rect(widget):
    return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size())


def brightness(image, point):
    c = QColor(image.pixel(point))
    return c.red() + c.green() + c.blue()


# Per side: a point 4 px inside the panel at the edge facing the overlay, and
# a point 6 px outside that edge, in the overlay, where the shadow falls.
def edge_points(frame, anchor):
    r, mid = frame, frame.center()
    return {
        "left": (QPoint(r.right() - 4, mid.y()), QPoint(r.right() + 6, mid.y())),
        "right": (QPoint(r.left() + 4, mid.y()), QPoint(r.left() - 6, mid.y())),
        "top": (QPoint(mid.x(), r.bottom() - 4), QPoint(mid.x(), r.bottom() + 6)),
        "bottom": (QPoint(mid.x(), r.top() + 4), QPoint(mid.x(), r.top() - 6)),
    }[anchor]


@pytest.mark.parametrize("anchor", demo.ANCHORS)
def test_open_buttons_open_the_drawer_over_the_window_and_close_resets_the_state(gallery, anchor):
    drawer, state = gallery.drawers[anchor], gallery.states[anchor]
    gallery.open_buttons[anchor].click()
    assert drawer.isVisible() and state.value is True
    assert global_rect(drawer) == global_rect(gallery)

    # The panel's Close button goes through _close; onClose puts the state
    # back, so the same button opens the drawer again.
    close = [b for b in drawer.findChildren(Button) if b.text() == "Close"]
    assert len(close) == 1
    close[0].click()
    assert not drawer.isVisible() and state.value is False
    gallery.open_buttons[anchor].click()
    assert drawer.isVisible()
    gallery.close_drawer(anchor)


@pytest.mark.parametrize("anchor", demo.ANCHORS)
def test_panel_sits_on_its_side_with_the_requested_size_and_casts_a_shadow(gallery, qapp, anchor):
    setTheme("light")
    window_only = demo.composite(gallery, gallery.drawers[anchor])  # hidden: not painted
    gallery.open_drawer(anchor)
    demo.settle(qapp, 30)
    drawer = gallery.drawers[anchor]
    frame = drawer._frm_content.geometry()
    width, height = demo.WINDOW_SIZE
    sizes = demo.DRAWER_SIZES[anchor]

    side_of_frame = {"left": frame.left(), "right": width - 1 - frame.right(),
                     "top": frame.top(), "bottom": height - 1 - frame.bottom()}[anchor]
    assert side_of_frame <= 1  # the splitter's 1 px contents margin at most
    if anchor == "left":
        # No limits for "left": the splitter shares the width minWidth : 50.
        share = sizes["minWidth"] / (sizes["minWidth"] + 50)
        assert frame.width() == pytest.approx(share * (width - 1), abs=2)
    elif anchor == "right":
        assert frame.width() == sizes["minWidth"]
    else:
        assert sizes["minHeight"] <= frame.height() <= sizes["maxHeight"]

    picture = demo.composite(gallery, drawer)
    inside, outside = edge_points(frame, anchor)
    assert picture.pixelColor(inside) == QColor("white")
    assert brightness(picture, outside) < brightness(window_only, outside)
    gallery.close_drawer(anchor)


def test_theme_button_restyles_the_window_and_the_drawers(gallery):
    setTheme("light")
    light_sheet = gallery.styleSheet()
    gallery.theme_button.click()
    assert useTheme().mode == "dark"
    assert gallery.styleSheet() != light_sheet
    assert useTheme().palette["background"] in gallery.styleSheet()
    assert gallery.theme_button.text() == "Switch to light"
    for drawer in gallery.drawers.values():
        assert useTheme().palette["backdrop"] in drawer.styleSheet()


def test_render_gallery_writes_one_picture_per_side_and_theme(qapp, tmp_path):
    before = useTheme()
    paths = demo.render_gallery(tmp_path)
    assert [p.name for p in paths] == [f"{n}.png" for n in demo.SCENE_NAMES]
    assert len(demo.SCENE_NAMES) == len(demo.ANCHORS) * len(demo.THEMES) == 8
    for path in paths:
        image = QImage(str(path))
        assert (image.width(), image.height()) == demo.WINDOW_SIZE
    # The pictures of one side differ between the themes.
    assert QImage(str(paths[0])) != QImage(str(paths[4]))
    assert useTheme() is before


def test_main_renders_the_chosen_scenes_and_prints_their_paths(qapp, tmp_path, capsys):
    assert demo.main(["--render", "--out", str(tmp_path), "--scene", "drawer-top-dark"]) == 0
    printed = capsys.readouterr().out.split()
    assert printed == [str((tmp_path / "drawer-top-dark.png").resolve())]
    assert sorted(tmp_path.iterdir()) == [tmp_path / "drawer-top-dark.png"]


@pytest.mark.parametrize("environ, expected", [
    ({}, False),
    ({"DISPLAY": ":0"}, True),
    ({"WAYLAND_DISPLAY": "wayland-0"}, True),
    ({"DISPLAY": ":0", "QT_QPA_PLATFORM": "offscreen"}, False),
    ({"DISPLAY": ":0", "QT_QPA_PLATFORM": "minimal"}, False),
    ({"DISPLAY": ":0", "QT_QPA_PLATFORM": "xcb"}, True),
])
def test_display_detection(environ, expected):
    assert demo.display_available(environ) is expected
