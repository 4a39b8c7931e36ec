"""Builds the extension module on the static library, which the project's
own CMake build makes first, so that the module needs nothing else installed."""
import re
import subprocess
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent


def version():
    header = (ROOT / "include" / "tarvel.h").read_text()
    parts = [re.search(rf"#define TARVEL_VERSION_{part} (\d+)", header).group(1)
             for part in ("MAJOR", "MINOR", "PATCH")]
    return ".".join(parts)


class BuildOnTheLibrary(build_ext):
    def run(self):
        build = Path(self.build_temp).resolve() / "libtarvel"
        subprocess.check_call(["cmake", "-S", str(ROOT), "-B", str(build),
                               "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_SHARED_LIBS=OFF",
                               "-DTARVEL_BUILD_TESTS=OFF"])
        subprocess.check_call(["cmake", "--build", str(build), "--target", "tarvel_library",
                               "--parallel", "2"])
        for extension in self.extensions:
            extension.extra_objects = [str(build / "libtarvel.a")]
        super().run()


setup(
    version=version(),
    ext_modules=[Extension(
        "tarvel._tarvel",
        sources=["src/_tarvel.c"],
        include_dirs=[str(ROOT / "include")],
        libraries=["stdc++", "m"],
        extra_compile_args=["-std=c99", "-Wall", "-Wextra"],
        extra_link_args=["-pthread"],
    )],
    cmdclass={"build_ext": BuildOnTheLibrary},
)
