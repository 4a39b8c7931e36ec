"""The tarvel module as a Python user meets it: every entry point round-trips
every kind of data, invalid data raises the program's reasons, and the
decompressor gives the same bytes whatever the pieces."""
import array
import errno
import io
import os
import random
import threading

import pytest

import tarvel


def _data(kind, size=200_000):
    rng = random.Random(kind)
    if kind == "empty":
        return b""
    if kind == "one byte":
        return b"a"
    if kind == "text":
        words = [b"the", b"quick", b"brown", b"fox", b"jumps", b"over", b"lazy", b"dog", b"\n"]
        return b" ".join(rng.choice(words) for _ in range(size // 4))[:size]
    if kind == "random":
        return rng.randbytes(size)
    if kind == "skewed":
        return bytes(min(int(rng.expovariate(0.3)), 255) for _ in range(size))
    if kind == "runs":
        return b"".join(bytes([rng.randrange(4)]) * rng.randrange(1, 5000) for _ in range(100))
    if kind == "all values":
        return bytes(range(256)) * 50
    raise AssertionError(kind)


KINDS = ["empty", "one byte", "text", "random", "skewed", "runs", "all values"]


def _through_files(data, tmp_path):
    (tmp_path / "in").write_bytes(data)
    tarvel.compress_file(tmp_path / "in", tmp_path / "in.tv")
    assert (tmp_path / "in.tv").read_bytes() == tarvel.compress(data)
    tarvel.decompress_file(tmp_path / "in.tv", tmp_path / "out")
    return (tmp_path / "out").read_bytes()


def _through_open(data, tmp_path):
    with tarvel.open(tmp_path / "f.tv", "wb") as f:
        for at in range(0, len(data), 70_000):
            f.write(memoryview(data)[at:at + 70_000])
    assert (tmp_path / "f.tv").read_bytes() == tarvel.compress(data)
    with tarvel.open(tmp_path / "f.tv", "rb") as f:
        return f.read()


def _through_file_objects(data, tmp_path):
    target = io.BytesIO()
    with tarvel.TarvelFile(target, "w") as f:
        f.write(bytearray(data))
    packed = target.getvalue()
    with tarvel.TarvelFile(io.BytesIO(packed)) as f:
        return b"".join(iter(lambda: f.read(1000), b""))


class _FewBytesAtATime(io.RawIOBase):
    """A raw file object that takes at most 1000 bytes a write, as a pipe or
    a nearly full disk may."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += bytes(b[:1000])
        return min(len(b), 1000)


def _through_short_writes(data, tmp_path):
    target = _FewBytesAtATime()
    with tarvel.TarvelFile(target, "w") as f:
        f.write(data)
    return tarvel.decompress(target.data)


def _through_closes_at_once(data, tmp_path):
    target = io.BytesIO()
    f = tarvel.TarvelFile(target, "w")
    f.write(data)
    closers = [threading.Thread(target=f.close) for _ in range(4)]
    for closer in closers:
        closer.start()
    for closer in closers:
        closer.join()
    return tarvel.decompress(target.getvalue())


def _through_text(data, tmp_path):
    text = data.decode("latin-1")
    with tarvel.open(tmp_path / "t.tv", "wt", encoding="latin-1", newline="") as f:
        f.write(text)
    with tarvel.open(tmp_path / "t.tv", "rt", encoding="latin-1", newline="") as f:
        return "".join(line for line in f).encode("latin-1")


def _through_buffers(data, tmp_path):
    packed = tarvel.compress(array.array("B", data), threads=2)
    return tarvel.decompress(memoryview(packed), threads=2)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("through", [_through_buffers, _through_files, _through_open,
                                     _through_file_objects, _through_short_writes,
                                     _through_closes_at_once, _through_text])
def test_every_entry_point_round_trips_every_kind(kind, through, tmp_path):
    data = _data(kind)
    assert through(data, tmp_path) == data


@pytest.mark.parametrize("piece", [1, 4096])
def test_the_decompressor_gives_the_same_bytes_for_any_pieces(piece):
    data = _data("text", 50_000)
    packed = tarvel.compress(data) + b"after"
    decompressor = tarvel.Decompressor()
    restored = []
    fed = 0
    while not decompressor.eof:
        restored.append(decompressor.decompress(packed[fed:fed + piece], max_length=3000))
        fed += piece
        while not decompressor.needs_input and not decompressor.eof:
            restored.append(decompressor.decompress(b"", max_length=3000))
    # What came after the end: in the piece that held it, and those not fed.
    unused = decompressor.unused_data + packed[fed:]
    assert b"".join(restored) == data
    assert decompressor.eof and unused == b"after"
    with pytest.raises(EOFError):
        decompressor.decompress(b"x")
    # An empty stream is an empty file, once the decompressor is told that
    # nothing more comes.
    empty = tarvel.Decompressor()
    assert empty.decompress(b"") == b"" and not empty.eof
    assert empty.flush() == b"" and empty.eof


def _file_with(packed, tmp_path):
    (tmp_path / "bad.tv").write_bytes(packed)
    with tarvel.open(tmp_path / "bad.tv") as f:
        f.read()


def _compress_while_changed(tmp_path):
    moving = bytearray(_data("text", 8 << 20))
    stop = False

    def change():
        at = 0
        while not stop:
            moving[at] ^= 0x80
            at = (at + 40_999) % len(moving)

    writer = threading.Thread(target=change)
    writer.start()
    try:
        for _ in range(3):
            tarvel.compress(moving, threads=1)
    finally:
        stop = True
        writer.join()


def _through_a_nonblocking_pipe(tmp_path, writing):
    """Reads from, or writes into, a raw pipe whose other end does nothing."""
    read_end, write_end = os.pipe()
    os.set_blocking(read_end if not writing else write_end, False)
    try:
        if writing:
            with io.FileIO(write_end, "w", closefd=False) as raw:
                with tarvel.TarvelFile(raw, "w") as f:
                    f.write(_data("random", 300_000))
        else:
            with io.FileIO(read_end, "r", closefd=False) as raw:
                tarvel.open(raw).read()
    finally:
        os.close(read_end)
        os.close(write_end)


def _flushed_after(packed):
    decompressor = tarvel.Decompressor()
    decompressor.decompress(packed)
    decompressor.flush()


T = tarvel.TarvelError


@pytest.mark.parametrize("call,error,text", [
    (lambda t: tarvel.decompress(b"\x00\x04\x00"), (ValueError, T), "the header is truncated"),
    (lambda t: _flushed_after(tarvel.compress(b"abracadabra")[:-2]), (ValueError, T),
     "the payload ends"),
    (_compress_while_changed, (T,),
     "the input changed while it was being compressed"),
    (lambda t: _through_a_nonblocking_pipe(t, writing=True), (BlockingIOError,), "would block"),
    (lambda t: _through_a_nonblocking_pipe(t, writing=False), (BlockingIOError,), "no data ready"),
    (lambda t: tarvel.compress(b"abc", threads=-1), (ValueError,), "threads must not be negative"),
    (lambda t: tarvel.decompress(b"\x08"), (ValueError, T), "the header has unknown flags set"),
    (lambda t: tarvel.decompress(tarvel.compress(b"abracadabra") + b"\x00"), (ValueError, T),
     "data follows the end symbol"),
    (lambda t: _file_with(tarvel.compress(b"abracadabra")[:-1], t), (ValueError, T),
     "the payload ends before the end symbol"),
    (lambda t: _file_with(tarvel.compress(b"abracadabra") + b"\x00", t), (ValueError, T),
     "data follows the end symbol"),
    (lambda t: tarvel.Decompressor().decompress(b"\x08"), (ValueError, T),
     "the header has unknown flags set"),
    (lambda t: tarvel.compress_file(t / "missing", t / "out"), (FileNotFoundError, T),
     "the input cannot be opened"),
    (lambda t: tarvel.decompress_file(t / "missing", t / "out"), (FileNotFoundError, T),
     "the input cannot be opened"),
    (lambda t: tarvel.open(t / "missing"), (FileNotFoundError, T), "No such file"),
    (lambda t: (t / "a").touch() or tarvel.decompress_file(t / "a", t / "a"), (T,),
     "the input and the output are the same file"),
])
def test_failures_raise_tarvel_errors_with_the_programs_reasons(call, error, text, tmp_path):
    """error: every class the exception must be. What the codec finds, and
    the files it opens, raise a TarvelError; what the file objects around it
    raise is what io raises."""
    with pytest.raises(error[0]) as raised:
        call(tmp_path)
    assert all(isinstance(raised.value, kind) for kind in error)
    assert isinstance(raised.value, T) == (T in error)
    assert text in str(raised.value)
    if error == (T,):
        assert not isinstance(raised.value, (OSError, ValueError))
    if FileNotFoundError in error:
        assert raised.value.errno == errno.ENOENT
        assert not (tmp_path / "out").exists()


def test_the_module_shows_its_interface_alone():
    public = {name for name in dir(tarvel) if not name.startswith("_")}
    assert public == set(tarvel.__all__)
