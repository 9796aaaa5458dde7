__all__ = ["alpha", "parse_rgb"]

def parse_rgb(color: str) -> tuple[int, int, int]: ...
def alpha(color: str, opacity: float) -> str:
    """Return ``color`` with the given opacity (0..1) as ``"rgba(r, g, b, a)"``."""
