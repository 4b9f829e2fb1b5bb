# Sourced: the one set-up and configure step of the test, play and package
# commands.
#   zq_setup       installs what is missing (bootstrap.sh), then zq_configure
#   zq_configure   configures $build (ZQ_BUILD, else build/ in the checkout) once
zq_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${ZQ_BUILD:-$zq_root/build}"
source "$zq_root/scripts/route.sh"

# Configured once; the build configures again when a CMake file changes. A
# needless configure rewrites CTest's lists of test cases, which then have to
# be read again from every test program (minutes under emulation).
zq_setup() {
    bash "$zq_root/scripts/bootstrap.sh"
    zq_configure
}

zq_configure() {
    [ -f "$build/CMakeCache.txt" ] ||
        cmake -S "$zq_root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$zq_root/cmake/mingw-i686.cmake" \
              -DCMAKE_BUILD_TYPE=Release >/dev/null
}
