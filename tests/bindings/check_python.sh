#!/bin/sh
# The Python package as a host installs it: into a virtual environment with
# Debian's setuptools, no package registry reached. Then its tests, and
# mypy --strict on the guide's host, which imports it.
# Usage: check_python.sh WORK_DIR SOURCE_DIR
set -eu
work=$1 source=$2
rm -rf "$work"
# Debian's Python, with its setuptools and wheel.
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
# From a copy: setuptools builds in the package's folder.
cp -r "$source/bindings/python" "$work/package"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation \
  --disable-pip-version-check "$work/package"
"$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$source/tests/bindings/test_python_binding.py"
mypy --strict --no-incremental --cache-dir=/dev/null --python-executable "$work/venv/bin/python" \
  "$source/docs/examples/host.py"
