# Sourced by the package tests: make_package BUILD_DIR VERSION WORK builds the Debian package
# of BUILD_DIR into WORK with cpack and prints its path; on failure it prints why and exits.
make_package() {
  local build_dir=$1 version=$2 work=$3
  local deb
  deb="$work/velmora_${version}_$(dpkg --print-architecture).deb"
  if ! cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack did not build the package" >&2
    exit 1
  fi
  if [[ ! -f $deb ]]; then
    ls "$work" >&2
    echo "FAIL: no package named $(basename "$deb")" >&2
    exit 1
  fi
  echo "$deb"
}
