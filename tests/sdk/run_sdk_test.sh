#!/usr/bin/env bash
# Installs a build of the project into a scratch prefix, checks what the install holds, builds the project in
# tests/sdk/project against the installed CePlatform package alone, and runs its program and the installed
# demonstration. Exits non-zero at the first thing that is missing or wrong.
#
#   tests/sdk/run_sdk_test.sh <build-dir> [<work-dir>]
#
# The work directory (default: a new temporary one) is emptied first and kept afterwards for inspection.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 <build-dir> [<work-dir>]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
work=${2:-$(mktemp -d)}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_tree=$(cd "$here/../.." && pwd)
cmake=${CMAKE_COMMAND:-cmake}
prefix=$work/prefix

fail() {
    echo "sdk test: FAILED: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"

echo "sdk test: installing $build into $prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install (see $work/install.log)"

library=$(find "$prefix" -name 'libceplatform.so' -print -quit)
[[ -n $library ]] || fail "no libceplatform.so under $prefix"
libdir=$(dirname "$library")
for file in \
    "$prefix/include/ceplatform/windows.h" \
    "$prefix/include/ceplatform/ceplatform.h" \
    "$libdir/cmake/CePlatform/CePlatformConfig.cmake" \
    "$libdir/cmake/CePlatform/CePlatformConfigVersion.cmake" \
    "$libdir/cmake/CePlatform/CePlatformModule.cmake" \
    "$libdir/ce-drivers/loopdrv.dll" \
    "$prefix/bin/cedemo"; do
    [[ -e $file ]] || fail "the install lacks $file"
done
# Every module the build put where the device manager looks by default is one of the project's and must
# be installed there too.
for built in "$build"/lib/ce-drivers/*.dll; do
    [[ -e $built ]] || continue
    [[ -e $libdir/ce-drivers/$(basename "$built") ]] ||
        fail "$(basename "$built") is not installed: ce_install_driver_module missing?"
done
# Installed programs must load the installed platform, not the build's and not none. (Documents that live
# beside their program, such as tulkcfg's user guide, are not programs.)
for program in "$prefix"/bin/*; do
    [[ -x $program ]] || continue
    platform=$(ldd "$program" | awk '/libceplatform/ {print $3}')
    [[ -e $platform ]] && platform=$(realpath "$platform")
    [[ $platform == "$libdir"/* ]] || fail "$(basename "$program") loads libceplatform from '${platform:-nowhere}'"
done
# A package that points back into the tree it was built in works only on the machine that built it.
if grep -rlF -e "$build" -e "$source_tree" "$libdir/cmake/CePlatform"; then
    fail "the installed package names the build or source tree"
fi

echo "sdk test: building tests/sdk/project against the installed package"
"$cmake" -S "$here/project" -B "$work/build" \
    -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
    -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF >"$work/configure.log" ||
    fail "configure (see $work/configure.log)"
found=$(sed -n 's/^CePlatform_DIR:PATH=//p' "$work/build/CMakeCache.txt")
[[ $found == "$libdir/cmake/CePlatform" ]] || fail "find_package took CePlatform from '$found'"
"$cmake" --build "$work/build" >"$work/build.log" || fail "build (see $work/build.log)"

# The module must export its .def entry points and DllMain, and nothing else.
module=$work/build/drivers/upperdrv.dll
[[ -f $module ]] || fail "ce_add_driver_module did not build $module"
exported=$(nm -D --defined-only --format=posix "$module" | awk '{print $1}' | sort | tr '\n' ' ')
wanted=$( (grep -oE '^ +UPC_[A-Za-z]+' "$here/project/upperdrv.def" | tr -d ' '; echo DllMain) | sort | tr '\n' ' ')
[[ $exported == "$wanted" ]] || fail "upperdrv.dll exports '$exported', wanted '$wanted'"

# Only the program's own module directory is searched first; the installed loopdrv.dll must be found where
# the installed device manager looks by default, beside the installed library.
unset CE_REGISTRY
echo "sdk test: running sdkprobe"
CE_DRIVER_PATH="$work/build/drivers" "$work/build/sdkprobe" --echo-module loopdrv.dll LPB || fail "sdkprobe"
echo "sdk test: running the installed cedemo"
env -u CE_DRIVER_PATH "$prefix/bin/cedemo" || fail "installed cedemo"
echo "sdk test: passed"
