"""corvane: build, write and read JUnit XML reports."""

from corvane import _corvane
from corvane._corvane import *  # noqa: F401,F403  (the names listed in __all__)

# Whatever the extension module publishes, in its own order.
__all__ = list(_corvane.__all__)
