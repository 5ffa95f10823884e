import os
from typing import Any, Sequence

import numpy as np

from ._errors import LayoutError as LayoutError, RecordFileError as RecordFileError, TarvikError as TarvikError

_Path = str | os.PathLike[str]
_Layouts = _Path | Sequence[_Path] | None

class File:
    @property
    def path(self) -> str: ...
    @property
    def warnings(self) -> list[str]: ...
    @property
    def index(self) -> np.ndarray: ...
    def __len__(self) -> int: ...

def open(path: _Path, layouts: _Layouts = None, read_past_damage: bool = False) -> File: ...
def check(path: _Path, layouts: _Layouts = None, walk_layouts: bool = True) -> dict[str, Any]: ...
