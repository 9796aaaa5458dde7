"""The plain-Python model of the drawer (``drawer``) that the tests compare the compiled module
with, and its X11 helper; the benchmark's plain-Python peer shares its window-system helpers."""
