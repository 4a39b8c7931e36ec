"""The tarvel module as a Python user meets it: every entry point round-trips
every kind of data, invalid data raises the program's reasons, and the
decompressor gives the same bytes whatever the pieces."""
import array
import errno
import io
import random

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
                                     _through_file_objects, _through_text])
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


def _file_with(packed, tmp_path):
    (tmp_path / "bad.tv").write_bytes(packed)
    with tarvel.open(tmp_path / "bad.tv") as f:
        f.read()


@pytest.mark.parametrize("call,error,text", [
    (lambda t: tarvel.decompress(b"\x00\x04\x00"), ValueError, "the header is truncated"),
    (lambda t: tarvel.decompress(b"\x08"), ValueError, "the header has unknown flags set"),
    (lambda t: tarvel.decompress(tarvel.compress(b"abracadabra") + b"\x00"), ValueError,
     "data follows the end symbol"),
    (lambda t: _file_with(tarvel.compress(b"abracadabra")[:-1], t), ValueError,
     "the payload ends before the end symbol"),
    (lambda t: _file_with(tarvel.compress(b"abracadabra") + b"\x00", t), ValueError,
     "data follows the end symbol"),
    (lambda t: tarvel.Decompressor().decompress(b"\x08"), ValueError,
     "the header has unknown flags set"),
    (lambda t: tarvel.compress_file(t / "missing", t / "out"), OSError,
     "the input cannot be opened"),
    (lambda t: tarvel.decompress_file(t / "missing", t / "out"), OSError,
     "the input cannot be opened"),
])
def test_failures_raise_tarvel_errors_with_the_programs_reasons(call, error, text, tmp_path):
    with pytest.raises(tarvel.TarvelError) as raised:
        call(tmp_path)
    assert isinstance(raised.value, error)
    assert text in str(raised.value)
    if error is OSError:
        assert raised.value.errno == errno.ENOENT
        assert not (tmp_path / "out").exists()
