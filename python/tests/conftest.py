import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))


def program(variable):
    """Path of a program of the build the tests may drive (set by CTest), or a skip."""
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        pytest.skip(f"{variable} is not built")
    return path
