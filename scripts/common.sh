# Sourced by scripts/test and scripts/demo: the build trees and how each is
# configured. Expects root (the source tree) and build (the build folder).

# configure NAME: configures build/NAME (native, native-plain, win64 or win32) unless it is.
configure() {
  local name=$1
  local log="$build/$name.configure.log"
  local args
  case $name in
    native)
      args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
            -DQEL_SANITIZE=ON -DQEL_FUZZ=ON -DQEL_FUZZ_SECONDS="${fuzz_seconds:-20}") ;;
    native-plain)
      # The portable tests once more, without sanitizers, under valgrind.
      args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DQEL_VALGRIND=ON) ;;
    win64|win32)
      args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$name.cmake") ;;
    *) echo "unknown configuration $name"; return 2 ;;
  esac
  mkdir -p "$build"
  # A tree made with a compiler that the toolchain file no longer names
  # (cmake/QelBuild.cmake says so) is configured anew.
  cmake -S "$root" -B "$build/$name" -G Ninja "${args[@]}" >"$log" 2>&1 ||
    { tr -s ' \n' '  ' <"$log" | grep -q 'configure the tree anew' &&
      cmake --fresh -S "$root" -B "$build/$name" -G Ninja "${args[@]}" >"$log" 2>&1; } ||
    { cat "$log"; echo "configuring $name failed"; return 1; }
}
