"""tarvel: a file compressor with a static Huffman code built for each input.

The module has the shape of the standard library's bz2 and lzma modules::

    packed = tarvel.compress(data)
    assert tarvel.decompress(packed) == data

    with tarvel.open("notes.tarvel", "wt") as f:
        f.write("some text")
    with tarvel.open("notes.tarvel", "rt") as f:
        for line in f:
            ...

The compressed form is the one the tarvel program writes. Every call that
codes data releases the GIL, so that threads code in parallel.
"""

import builtins as _builtins
import errno as _errno
import io as _io
import os as _os
import tempfile as _tempfile
import threading as _threading

from . import _tarvel
from ._tarvel import Decompressor, __version__

__all__ = [
    "TarvelError",
    "Decompressor",
    "TarvelFile",
    "compress",
    "decompress",
    "compress_file",
    "decompress_file",
    "open",
]

_BUFFER_SIZE = 1 << 17


class TarvelError(Exception):
    """A failure of the codec: invalid data (also a ValueError), a failure of
    the system (also the OSError subclass that its errno picks, such as
    FileNotFoundError), or an input that changed while it was compressed."""


class _InvalidDataError(TarvelError, ValueError):
    """The data do not follow the layout; the text is the reason the untarvel
    program prints ("the header is truncated")."""


class _SystemFailureError(TarvelError, OSError):
    """A failure of the system: errno and strerror as for any OSError."""


class _InputChangedError(TarvelError):
    """The bytes changed while they were compressed (another thread wrote to
    the buffer, another program to the file): nothing was made of them."""


TarvelError.InvalidData = _InvalidDataError
TarvelError.SystemFailure = _SystemFailureError
TarvelError.InputChanged = _InputChangedError

_system_errors = {}


def _system_error_class(number):
    """The system failure for an errno: a TarvelError that is also the
    OSError subclass OSError(number, ...) picks."""
    base = type(OSError(number, ""))
    if base is OSError:
        return _SystemFailureError
    if base not in _system_errors:
        _system_errors[base] = type(base.__name__, (_SystemFailureError, base),
                                    {"__module__": __name__})
    return _system_errors[base]


def _error(kind, number, text):
    if kind == 0:
        return _InvalidDataError(text)
    if kind == 1 or not number:  # a changed input; the same file named twice
        return (_InputChangedError if kind == 1 else TarvelError)(text)
    reason = f"{text}: {_os.strerror(number)}" if number else text
    return _system_error_class(number)(number, reason)


_tarvel._set_error_factory(_error)


def compress(data, threads=0):
    """Return the compressed form of data, any bytes-like object: the bytes the
    tarvel program writes for a file holding them."""
    return _tarvel.compress(data, threads)


def decompress(data, threads=0):
    """Return the bytes that data, one whole compressed stream, restores to.
    Raises TarvelError (a ValueError) when data is not such a stream."""
    return _tarvel.decompress(data, threads)


def _on_files(call, src, dst, threads):
    try:
        call(_os.fsencode(src), _os.fsencode(dst), threads)
    except _SystemFailureError as error:
        raise type(error)(error.errno, error.strerror, _os.fsdecode(src), None,
                          _os.fsdecode(dst)) from None


def compress_file(src, dst, threads=0):
    """Compress the file src into the file dst as the tarvel program does, in
    two passes, without its report: an input that can be read only once is
    copied aside, and dst is complete or left as it was. An existing dst is
    replaced, as shutil.copy does."""
    _on_files(_tarvel.compress_file, src, dst, threads)


def decompress_file(src, dst, threads=0):
    """Restore the file src into the file dst, with the rules of
    compress_file: an existing dst is replaced (as shutil.copy does; the
    untarvel program asks for -f first), and left as it was on failure."""
    _on_files(_tarvel.decompress_file, src, dst, threads)


def _read_some(fp, size):
    """Reads up to size bytes; b"" at the end. A raw file object with nothing
    to give yet (non-blocking) raises, as io's buffered readers do."""
    data = fp.read(size)
    if data is None:
        raise BlockingIOError(_errno.EAGAIN, "the compressed file has no data ready")
    return data


def _write_all(fp, data):
    """Writes every byte of data, however few each write takes; a raw file
    object that would block raises."""
    with memoryview(data) as view:
        done = 0
        while done < len(view):
            written = fp.write(view[done:])
            if written is None:
                raise BlockingIOError(_errno.EAGAIN, "the output would block", done)
            if written <= 0:
                raise OSError(_errno.EIO, "the output took no bytes")
            done += written


class _Reader(_io.RawIOBase):
    """The restored bytes of a compressed file object, read in blocks."""

    def __init__(self, fp):
        self._fp = fp
        self._decompressor = Decompressor()
        self._done = False
        self._position = 0
        self._left = b""  # restored bytes that the last read had no room for

    def readable(self):
        return True

    def readinto(self, b):
        with memoryview(b) as view, view.cast("B") as target:
            data = self._read(len(target))
            target[:len(data)] = data
        return len(data)

    def _read(self, size):
        if self._left:
            data, self._left = self._left[:size], self._left[size:]
            self._position += len(data)
            return data
        while not self._done:
            if self._decompressor.eof:
                # Nothing may follow the end of the data.
                if self._decompressor.unused_data or _read_some(self._fp, 1):
                    raise _InvalidDataError("data follows the end symbol")
                self._done = True
                break
            raw = _read_some(self._fp, _BUFFER_SIZE) if self._decompressor.needs_input else b""
            if not raw and self._decompressor.needs_input:
                # The whole input: an empty one is an empty file, else the
                # decoder says where the data ended early.
                data = self._decompressor.flush()
                if self._decompressor.unused_data:
                    raise _InvalidDataError("data follows the end symbol")
                self._done = True
                if data:
                    self._left = data
                    return self._read(size)
                break
            data = self._decompressor.decompress(raw, size)
            if data:
                self._position += len(data)
                return data
        return b""

    def _rewind(self):
        self._fp.seek(0)
        self._decompressor = Decompressor()
        self._done = False
        self._position = 0
        self._left = b""

    def seekable(self):
        return self._fp.seekable()

    def tell(self):
        return self._position

    def seek(self, offset, whence=_io.SEEK_SET):
        """Seeks by reading forward; a seek backwards starts again from the
        beginning, where the file can seek."""
        if whence == _io.SEEK_CUR:
            offset += self._position
        elif whence == _io.SEEK_END:
            while self._read(_BUFFER_SIZE):
                pass
            offset += self._position
        elif whence != _io.SEEK_SET:
            raise ValueError(f"invalid whence ({whence!r})")
        if offset < self._position:
            self._rewind()
        while self._position < max(offset, 0):
            if not self._read(min(offset - self._position, _BUFFER_SIZE)):
                break
        return self._position


class TarvelFile(_io.BufferedIOBase):
    """A compressed file, as a binary stream.

    TarvelFile(filename, mode="r"): filename is a path (str, bytes or
    os.PathLike) or a binary file object. Mode "r" (or "rb") reads the
    restored bytes as a stream in constant memory; "w" and "x" (with or
    without "b") take the data in pieces and write the compressed file when
    the TarvelFile is closed, since the format needs the counts first: the
    data wait in a temporary file meanwhile, not in memory.
    """

    def __init__(self, filename, mode="r"):
        # One call at a time, from any number of threads, as bz2's and
        # lzma's file objects do.
        self._lock = _threading.RLock()
        self._fp = None
        self._owned = False
        self._reader = None
        self._spool = None
        self._encoder = None
        self._position = 0
        plain = mode.replace("b", "")
        if plain not in ("r", "w", "x"):
            raise ValueError(f"invalid mode: {mode!r}")
        self._mode = plain
        if isinstance(filename, (str, bytes, _os.PathLike)):
            try:
                self._fp = _builtins.open(filename, plain + "b")
            except OSError as error:  # a TarvelError too, as from the other calls
                raise _system_error_class(error.errno)(
                    error.errno, error.strerror, error.filename) from None
            self._owned = True
        elif hasattr(filename, "read" if plain == "r" else "write"):
            self._fp = filename
        else:
            raise TypeError("filename must be a str, bytes, os.PathLike or file object")
        if plain == "r":
            self._reader = _io.BufferedReader(_Reader(self._fp), _BUFFER_SIZE)
        else:
            self._spool = _tempfile.TemporaryFile()
            self._encoder = _tarvel._Encoder()

    # -- state --

    @property
    def closed(self):
        return self._fp is None

    def _check(self, reading):
        if self._fp is None:
            raise ValueError("I/O operation on closed file")
        if reading and self._reader is None:
            raise _io.UnsupportedOperation("File not open for reading")
        if not reading and self._reader is not None:
            raise _io.UnsupportedOperation("File not open for writing")

    def readable(self):
        self._check_open()
        return self._reader is not None

    def writable(self):
        self._check_open()
        return self._reader is None

    def seekable(self):
        self._check_open()
        return self._reader is not None and self._reader.seekable()

    def _check_open(self):
        if self._fp is None:
            raise ValueError("I/O operation on closed file")

    def fileno(self):
        self._check_open()
        return self._fp.fileno()

    # -- reading --

    def read(self, size=-1):
        with self._lock:
            self._check(reading=True)
            return self._reader.read(size)

    def read1(self, size=-1):
        with self._lock:
            self._check(reading=True)
            return self._reader.read1(size)

    def readinto(self, b):
        with self._lock:
            self._check(reading=True)
            return self._reader.readinto(b)

    def readline(self, size=-1):
        with self._lock:
            self._check(reading=True)
            return self._reader.readline(size)

    def peek(self, n=0):
        with self._lock:
            self._check(reading=True)
            return self._reader.peek(n)

    def seek(self, offset, whence=_io.SEEK_SET):
        with self._lock:
            self._check(reading=True)
            return self._reader.seek(offset, whence)

    def tell(self):
        self._check_open()
        return self._reader.tell() if self._reader is not None else self._position

    # -- writing --

    def write(self, data):
        with self._lock:
            self._check(reading=False)
            with memoryview(data) as view, view.cast("B") as piece:
                self._encoder.count(piece)
                self._spool.write(piece)
                self._position += len(piece)
                return len(piece)

    def close(self):
        """Writes the compressed file (in a write mode), and closes the file
        object when it was opened by name. A second close does nothing."""
        with self._lock:
            self._close()

    def _close(self):
        if self._fp is None:
            return
        try:
            if self._spool is not None:
                self._spool.seek(0)
                while True:
                    piece = self._spool.read(_BUFFER_SIZE)
                    last = len(piece) < _BUFFER_SIZE
                    _write_all(self._fp, self._encoder.encode(piece, last))
                    if last:
                        break
                self._fp.flush()
        finally:
            try:
                if self._spool is not None:
                    self._spool.close()
                if self._reader is not None:
                    self._reader = None
                if self._owned:
                    self._fp.close()
            finally:
                self._fp = None
                self._spool = None
                self._encoder = None
                super().close()


def open(filename, mode="rb", *, encoding=None, errors=None, newline=None):
    """Open a compressed file in binary or text mode, as bz2.open does.

    mode is "r", "rb", "w", "wb", "x" or "xb" for a binary stream, or "rt",
    "wt" or "xt" for text through io.TextIOWrapper with the given encoding,
    errors and newline. filename is a path or a file object.
    """
    if "t" in mode:
        if "b" in mode:
            raise ValueError(f"invalid mode: {mode!r}")
    elif encoding is not None or errors is not None or newline is not None:
        raise ValueError("encoding, errors and newline are for text modes only")
    binary = TarvelFile(filename, mode.replace("t", ""))
    if "t" in mode:
        return _io.TextIOWrapper(binary, _io.text_encoding(encoding), errors, newline)
    return binary


# fsspec (and with it Dask and pandas) and shutil learn the format.
from . import _registry  # noqa: E402

_registry.register_with_fsspec()
_registry.register_with_shutil()
