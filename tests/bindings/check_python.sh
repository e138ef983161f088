#!/bin/sh
# The Python package as a host installs it: into a virtual environment with
# Debian's setuptools, no package registry reached. Then its tests, and
# mypy --strict on the guide's host, which imports it.
# Usage: check_python.sh WORK_DIR SOURCE_DIR
set -eu
work=$1 source=$2
rm -rf "$work"
# Debian's Python. Without a pip of its own: Debian's pip, setuptools and wheel serve it.
/usr/bin/python3 -m venv --system-site-packages --without-pip "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation \
  --disable-pip-version-check "$source/bindings/python" 2>&1 | grep -v '^$' || true
"$work/venv/bin/python" -c 'import povupdate' || { echo "the package did not install" >&2; exit 1; }
# The build's copy: the source tree stays as it was.
rm -rf "$source/bindings/python/build" "$source/bindings/python/povupdate.egg-info"
"$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$source/tests/bindings/test_python_binding.py"
mypy --strict --no-incremental --cache-dir=/dev/null --python-executable "$work/venv/bin/python" \
  "$source/docs/examples/host.py"
