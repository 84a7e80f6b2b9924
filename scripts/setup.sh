#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Velmora needs.
# Idempotent: refreshes the package lists once, then installs only what is missing.
# Packages come without their recommends, so two that nothing else then pulls in are named:
# python3-pkg-resources (python3-tds imports pkg_resources) and man-db (the package test
# renders the manual page with man).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  qt6-base-dev qt6-base-dev-tools libqt6test6 libqt6svg6 qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libgnutls28-dev
  unixodbc unixodbc-dev tdsodbc freetds-bin
  libgtest-dev libgmock-dev googletest
  nlohmann-json3-dev
  zlib1g-dev libzstd-dev gzip zstd
  python3 python3-tds python3-openssl python3-pkg-resources
  fonts-noto-cjk locales
  clang libclang-rt-14-dev
  desktop-file-utils dpkg-dev file man-db lintian
  xvfb xauth
  postgresql time
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The ODBC driver manager finds FreeTDS by the driver name "FreeTDS".
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1; then
  driver=$(dpkg -L tdsodbc | grep -m1 '/libtdsodbc\.so$')
  printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\n' "$driver" >/tmp/velmora-odbcinst.ini
  odbcinst -i -d -f /tmp/velmora-odbcinst.ini
fi

# Locales the tests write scripts under (GBK bytes under zh_CN.GBK).
have_locale() { locale -a 2>/dev/null | grep -qix "$1"; }
have_locale zh_CN.gbk || localedef -i zh_CN -f GBK zh_CN.GBK
have_locale zh_CN.utf8 || localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
have_locale en_US.utf8 || localedef -i en_US -f UTF-8 en_US.UTF-8
have_locale de_DE.utf8 || localedef -i de_DE -f UTF-8 de_DE.UTF-8
exit 0
