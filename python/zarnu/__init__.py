"""Python widget library for Qt applications."""
