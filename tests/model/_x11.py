# Whether a compositing manager runs on the X display, asked through libxcb with ctypes: the
# manager owns the selection _NET_WM_CM_S<screen> while it runs. None when that cannot be told.
import ctypes


class _Cookie(ctypes.Structure):
    _fields_ = [("sequence", ctypes.c_uint)]


class _Reply(ctypes.Structure):
    _fields_ = [("response_type", ctypes.c_uint8), ("pad0", ctypes.c_uint8), ("sequence", ctypes.c_uint16),
                ("length", ctypes.c_uint32), ("value", ctypes.c_uint32)]


_xcb = None
_connection = None
_selection = None
_unavailable = False


def _connect():
    global _xcb, _connection, _selection, _unavailable
    _unavailable = True
    try:
        xcb = ctypes.CDLL("libxcb.so.1")
        libc = ctypes.CDLL(None)
    except OSError:
        return
    xcb.xcb_connect.restype = ctypes.c_void_p
    xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)]
    xcb.xcb_connection_has_error.argtypes = [ctypes.c_void_p]
    xcb.xcb_intern_atom.restype = _Cookie
    xcb.xcb_intern_atom.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint16, ctypes.c_char_p]
    xcb.xcb_intern_atom_reply.restype = ctypes.POINTER(_Reply)
    xcb.xcb_intern_atom_reply.argtypes = [ctypes.c_void_p, _Cookie, ctypes.c_void_p]
    xcb.xcb_get_selection_owner.restype = _Cookie
    xcb.xcb_get_selection_owner.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
    xcb.xcb_get_selection_owner_reply.restype = ctypes.POINTER(_Reply)
    xcb.xcb_get_selection_owner_reply.argtypes = [ctypes.c_void_p, _Cookie, ctypes.c_void_p]
    libc.free.argtypes = [ctypes.c_void_p]
    screen = ctypes.c_int(0)
    connection = xcb.xcb_connect(None, ctypes.byref(screen))
    if not connection or xcb.xcb_connection_has_error(connection):
        return
    name = b"_NET_WM_CM_S%d" % screen.value
    reply = xcb.xcb_intern_atom_reply(connection, xcb.xcb_intern_atom(connection, 0, len(name), name), None)
    if not reply:
        return
    _selection = reply.contents.value
    libc.free(reply)
    _xcb, _connection, _unavailable = (xcb, libc), connection, False


def compositing():
    if _unavailable:
        return None
    if _connection is None:
        _connect()
        if _unavailable:
            return None
    xcb, libc = _xcb
    reply = xcb.xcb_get_selection_owner_reply(_connection, xcb.xcb_get_selection_owner(_connection, _selection), None)
    if not reply:
        return None
    running = reply.contents.value != 0
    libc.free(reply)
    return running
