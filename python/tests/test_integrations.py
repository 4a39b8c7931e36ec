"""tarvel where users already work: fsspec, and pandas and Dask through it,
and shutil's archives, which GNU tar reads through the filter. Each peer is
the real one from the system's packages, skipped where it is missing."""
import io
import os
import re
import shutil
import subprocess
import tarfile

import pytest

import tarvel

TEXT = "".join(f"{k},{k * k % 97},word{k % 13}\n" for k in range(20_000))


def test_shutil_makes_and_unpacks_tar_files_compressed_by_tarvel(tmp_path):
    (tmp_path / "d" / "sub").mkdir(parents=True)
    (tmp_path / "d" / "a.txt").write_text(TEXT)
    (tmp_path / "d" / "sub" / "b.bin").write_bytes(bytes(range(256)) * 40)
    archive = shutil.make_archive(str(tmp_path / "x"), "tarveltar", root_dir=tmp_path,
                                  base_dir="d")
    assert archive == str(tmp_path / "x.tar.tarvel")
    shutil.unpack_archive(archive, tmp_path / "out")
    assert (tmp_path / "out" / "d" / "a.txt").read_text() == TEXT
    assert (tmp_path / "out" / "d" / "sub" / "b.bin").read_bytes() == bytes(range(256)) * 40
    names = ["d", "d/a.txt", "d/sub", "d/sub/b.bin"]
    with tarfile.open(fileobj=io.BytesIO(tarvel.decompress(open(archive, "rb").read()))) as tar:
        assert sorted(tar.getnames()) == names
    # GNU tar reads it through the filter (which CI names).
    tool = os.environ.get("TARVEL_FILTER")
    if tool and shutil.which("tar"):
        listed = subprocess.run(["tar", "-I", tool, "-tf", archive], check=True,
                                capture_output=True, text=True).stdout
        assert sorted(name.rstrip("/") for name in listed.split()) == names


@pytest.mark.parametrize("kind", ["parent", "absolute", "symlink", "hard link", "device"])
def test_unpacking_writes_nothing_outside_its_folder(tmp_path, kind):
    """Members that lead out of the destination are refused, naming the
    member, before anything of them is written; an absolute name is kept
    inside where tarfile's own filter strips its slash."""
    outside = tmp_path / "outside"
    outside.mkdir()
    members = {"parent": [("../outside/x", tarfile.REGTYPE, "")],
               "absolute": [(str(outside / "x"), tarfile.REGTYPE, "")],
               "symlink": [("l", tarfile.SYMTYPE, "../outside"), ("l/x", tarfile.REGTYPE, "")],
               "hard link": [("h", tarfile.LNKTYPE, "../outside/y")],
               "device": [("d", tarfile.CHRTYPE, "")]}[kind]
    packed = io.BytesIO()
    with tarfile.open(fileobj=packed, mode="w") as tar:
        tar.addfile(tarfile.TarInfo("fine"), io.BytesIO())
        for name, type_, target in members:
            info = tarfile.TarInfo(name)
            info.type, info.linkname, info.size = type_, target, 1 if type_ == tarfile.REGTYPE else 0
            tar.addfile(info, io.BytesIO(b"x"))
    archive = tmp_path / "evil.tar.tarvel"
    archive.write_bytes(tarvel.compress(packed.getvalue()))
    if kind == "absolute" and hasattr(tarfile, "data_filter"):
        shutil.unpack_archive(archive, tmp_path / "dest")
        assert (tmp_path / "dest" / str(outside / "x").lstrip("/")).read_bytes() == b"x"
    else:
        with pytest.raises(tarfile.TarError, match=re.escape(repr(members[0][0]))):
            shutil.unpack_archive(archive, tmp_path / "dest")
    assert list(outside.iterdir()) == []


def test_fsspec_reads_and_writes_the_programs_bytes(tmp_path):
    fsspec = pytest.importorskip("fsspec")
    path = str(tmp_path / "t.csv.tarvel")
    with fsspec.open(path, "wt", compression="infer") as f:
        f.write(TEXT)
    assert open(path, "rb").read() == tarvel.compress(TEXT.encode())
    with fsspec.open(path, "rt", compression="infer") as f:
        assert f.read() == TEXT
    with fsspec.open(path, "rb", compression="tarvel") as f:
        pandas = pytest.importorskip("pandas")
        assert pandas.read_csv(f, header=None)[0].sum() == sum(range(20_000))


def test_dask_on_a_cluster_of_preloaded_workers(tmp_path):
    """Two worker processes on loopback, which import tarvel as the README
    says; Dask reads and writes compressed files there."""
    dask = pytest.importorskip("dask")
    dataframe = pytest.importorskip("dask.dataframe")
    bag = pytest.importorskip("dask.bag")
    distributed = pytest.importorskip("distributed")
    for part in range(2):
        (tmp_path / f"p{part}.csv.tarvel").write_bytes(tarvel.compress(("a,b,c\n" + TEXT).encode()))
    with dask.config.set({"distributed.worker.preload": ["tarvel"]}):
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      host="127.0.0.1", dashboard_address=None) as cluster:
            with distributed.Client(cluster) as client:
                # A worker that cannot read the files fails the test in time.
                frame = dataframe.read_csv(str(tmp_path / "*.csv.tarvel"), blocksize=None)
                assert frame.npartitions == 2
                total = client.compute(frame["a"].sum()).result(timeout=120)
                assert total == 2 * sum(range(20_000))
                lines = bag.read_text(str(tmp_path / "*.csv.tarvel"))
                written = lines.map(lambda line: line.rstrip("\n").upper()).to_textfiles(
                    str(tmp_path / "out" / "*.txt.tarvel"), compute=False)
                distributed.wait(client.compute(written), timeout=120)
    written = sorted((tmp_path / "out").iterdir())
    assert len(written) == 2
    restored = tarvel.decompress(written[0].read_bytes()).decode()
    assert restored.splitlines() == ("a,b,c\n" + TEXT).upper().splitlines()
