from typing import Any

__all__ = ["get_qss_style", "to_kebab_case"]

def to_kebab_case(name: str) -> str: ...
def get_qss_style(style: dict[str, Any]) -> str:
    """Return the declarations of one QSS rule (no selector, no braces) for a camelCase style dict."""
