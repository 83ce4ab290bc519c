#!/usr/bin/env bash
# ./setup.sh [TARGET...]
# Installs the Debian packages the build needs (only those missing) and
# builds in build/ the targets named, or everything (the three programs, the
# demo-database tool, the application folder and the tests) when none is.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n libsqlite3-dev
          libgtest-dev fonts-ipafont-gothic xvfb xauth
          libzip-dev libpugixml-dev libpoppler-qt6-dev libreoffice-calc-nogui poppler-utils
          libpq-dev postgresql-15 postgresql-client-15"
missing=()
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
if [ $# -gt 0 ]; then
  cmake --build build --target "$@"
else
  cmake --build build
fi
