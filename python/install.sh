#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the tessel Python module and installs it, with libtessel beside it, into the user's
# site-packages of Debian's Python (which is "externally managed": no pip needed).
# Usage: python/install.sh                      build (in build-python/) and install
#        python/install.sh --from-build BUILD   install what BUILD/python/tessel holds
# PYTHON=/path/to/python3 chooses another interpreter.
set -euo pipefail
cd "$(dirname "$0")/.."
python=${PYTHON:-/usr/bin/python3}
if [ "${1:-}" = "--from-build" ]; then
  build=${2:?usage: python/install.sh --from-build BUILD_DIR}
else
  build=build-python
  scripts/install-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSEL_PYTHON=ON \
    -DTESSEL_BUILD_TESTS=OFF -DTESSEL_BUILD_BENCH=OFF -DTESSEL_BUILD_CLI=OFF \
    -DPython3_EXECUTABLE="$python" >/dev/null
  cmake --build "$build" --target tessel_python_module -j "$(nproc)"
fi
package="$build/python/tessel"
for file in __init__.py _tessel.*.so libtessel.so.*; do
  compgen -G "$package/$file" >/dev/null || { echo "install.sh: $package/$file is missing" >&2; exit 1; }
done
site=$("$python" -m site --user-site)
mkdir -p "$site"
# Copied beside the old version and swapped in, so that a failed copy leaves the old one whole.
rm -rf "$site/.tessel.new"
cp -R "$package" "$site/.tessel.new"
rm -rf "$site/tessel"
mv "$site/.tessel.new" "$site/tessel"
cd /
env -u PYTHONPATH "$python" -c \
  "import tessel; print('tessel', tessel.__version__, 'installed in', tessel.__path__[0])"
