"""Where users already meet compressors: fsspec (and so Dask and pandas)
and Python's shutil learn tarvel when the package is imported."""
import importlib.util
import os
import shutil
import sys


def _open_for_fsspec(infile, mode="rb", **kwargs):
    """fsspec's callback: a compressed file over the file object it opened."""
    from . import TarvelFile
    return TarvelFile(infile, mode)


def register_with_fsspec():
    """The compression "tarvel", extension "tarvel", when fsspec is there;
    nothing is imported when it is not."""
    if "fsspec" not in sys.modules and importlib.util.find_spec("fsspec") is None:
        return
    try:
        from fsspec.compression import register_compression
    except ImportError:
        return
    try:
        register_compression("tarvel", _open_for_fsspec, "tarvel")
    except ValueError:  # known already: the package was imported again
        pass


def _make_tarveltar(base_name, base_dir, owner=None, group=None, dry_run=False, logger=None,
                    root_dir=None, **_):
    """Makes base_name.tar.tarvel of base_dir, as shutil makes its tar files."""
    import tarfile
    from . import TarvelFile

    archive = base_name + ".tar.tarvel"
    folder = os.path.dirname(archive)
    if folder and not os.path.exists(folder) and not dry_run:
        os.makedirs(folder)
    if logger is not None:
        logger.info("Creating tar archive compressed by tarvel")
    uid = shutil._get_uid(owner)
    gid = shutil._get_gid(group)

    def owned(info):
        if gid is not None:
            info.gid, info.gname = gid, group
        if uid is not None:
            info.uid, info.uname = uid, owner
        return info

    if not dry_run:
        source = base_dir if root_dir is None else os.path.join(root_dir, base_dir)
        with TarvelFile(archive, "w") as packed:
            with tarfile.open(fileobj=packed, mode="w|") as tar:
                tar.add(source, base_dir, filter=owned)
    return archive


# make_archive passes root_dir instead of changing the process's folder.
_make_tarveltar.supports_root_dir = True


def _refuse_unsafe(members, extract_dir):
    """The members of a tar stream as they come, each checked before it is
    written, as the "data" extraction filter checks them where tarfile has
    none: a name that is absolute or leads out of `extract_dir`, a link that
    points out of it, and a device or pipe are refused, naming the member."""
    import tarfile

    root = os.path.realpath(extract_dir)

    def inside(path):
        path = os.path.realpath(path)
        return path == root or path.startswith(root.rstrip(os.sep) + os.sep)

    for member in members:
        name = member.name
        reason = None
        if os.path.isabs(name) or os.path.splitdrive(name)[0] or name.startswith(("/", "\\")):
            reason = "it has an absolute name"
        elif not inside(os.path.join(root, name)):
            reason = "it would be written outside the destination"
        elif member.isdev():
            reason = "it is a device or a pipe"
        elif member.issym():
            target = member.linkname
            if os.path.isabs(target) or not inside(
                    os.path.join(root, os.path.dirname(name), target)):
                reason = "it is a link that points outside the destination"
        elif member.islnk():
            if os.path.isabs(member.linkname) or not inside(os.path.join(root, member.linkname)):
                reason = "it is a link that points outside the destination"
        if reason is not None:
            raise tarfile.TarError(f"refusing to extract {name!r}: {reason}")
        yield member


def _unpack_tarveltar(filename, extract_dir, **options):
    """Unpacks a .tar.tarvel file as shutil unpacks tar files; `options`
    (an extraction filter) go to extractall. Nothing is written outside
    `extract_dir`: where tarfile has extraction filters, "data" is the one
    used unless another is asked for; where it has none, each member is
    checked as that filter would check it before anything of it is
    written."""
    import tarfile
    from . import TarvelFile

    with TarvelFile(filename) as packed:
        try:
            tar = tarfile.open(fileobj=packed, mode="r|")
        except tarfile.TarError:
            raise shutil.ReadError(f"{filename} is not a tar file compressed by tarvel")
        with tar:
            if hasattr(tarfile, "data_filter"):
                options.setdefault("filter", "data")
                tar.extractall(extract_dir, **options)
            else:
                tar.extractall(extract_dir, members=_refuse_unsafe(tar, extract_dir), **options)


def register_with_shutil():
    """The archive format "tarveltar": make_archive writes NAME.tar.tarvel,
    unpack_archive reads it."""
    description = "tar file compressed by tarvel"
    shutil.register_archive_format("tarveltar", _make_tarveltar, [], description)
    if "tarveltar" not in (name for name, _, _ in shutil.get_unpack_formats()):
        shutil.register_unpack_format("tarveltar", [".tar.tarvel"], _unpack_tarveltar, [],
                                      description)
