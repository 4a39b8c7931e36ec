import io
import os
from typing import IO, Literal, Optional, Union, overload

from _typeshed import ReadableBuffer as _Buffer  # any object with the buffer protocol

__version__: str

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

class TarvelError(Exception):
    InvalidData: type[TarvelError]  # also a ValueError
    SystemFailure: type[TarvelError]  # also an OSError, and the subclass its errno picks
    InputChanged: type[TarvelError]  # neither: the bytes changed during the call

def compress(data: _Buffer, threads: int = ...) -> bytes: ...
def decompress(data: _Buffer, threads: int = ...) -> bytes: ...
def compress_file(src: _Path, dst: _Path, threads: int = ...) -> None: ...
def decompress_file(src: _Path, dst: _Path, threads: int = ...) -> None: ...

class Decompressor:
    def __init__(self) -> None: ...
    def decompress(self, data: _Buffer, max_length: int = ...) -> bytes: ...
    def flush(self) -> bytes: ...
    @property
    def eof(self) -> bool: ...
    @property
    def needs_input(self) -> bool: ...
    @property
    def unused_data(self) -> bytes: ...

class TarvelFile(io.BufferedIOBase):
    def __init__(
        self,
        filename: Union[_Path, IO[bytes]],
        mode: Literal["r", "rb", "w", "wb", "x", "xb"] = ...,
    ) -> None: ...
    def peek(self, n: int = ...) -> bytes: ...

@overload
def open(
    filename: Union[_Path, IO[bytes]],
    mode: Literal["r", "rb", "w", "wb", "x", "xb"] = ...,
    *,
    encoding: None = ...,
    errors: None = ...,
    newline: None = ...,
) -> TarvelFile: ...
@overload
def open(
    filename: Union[_Path, IO[bytes]],
    mode: Literal["rt", "wt", "xt"],
    *,
    encoding: Optional[str] = ...,
    errors: Optional[str] = ...,
    newline: Optional[str] = ...,
) -> io.TextIOWrapper: ...
