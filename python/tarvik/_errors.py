"""The exceptions of the tarvik package."""


class TarvikError(Exception):
    """Base class of every error the tarvik package raises."""


class RecordFileError(TarvikError, OSError):
    """A record file or capture could not be read; the message is tarvik-cli's."""


class LayoutError(TarvikError, ValueError):
    """A layout definition file is faulty.

    ``file`` and ``line`` name the first problem (``line`` is 0 when the
    problem concerns the whole file); the message lists every problem as
    ``FILE:LINE: text``, one a line.
    """

    def __init__(self, message: str, file: str = "", line: int = 0):
        super().__init__(message)
        self.file = file
        self.line = line


class ProfileError(TarvikError, ValueError):
    """A test profile could not be loaded; the message is ``FILE:LINE: reason``."""
