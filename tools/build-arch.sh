# Sourced by the scripts that build and run the programs. kv_choose_arch sets
# KV_ARCH to the architecture to run here: KV_ARCH if the caller set it, else
# i686 where this host runs 32-bit Wine, else x86_64 (the same code, 64-bit).
# kv_configure BUILD configures BUILD for KV_ARCH.
kv_choose_arch() {
  case "${KV_ARCH:-}" in
    i686|x86_64) ;;
    "")
      if /usr/lib/wine/wine --version >/dev/null 2>&1; then KV_ARCH=i686; else KV_ARCH=x86_64; fi ;;
    *) echo "KV_ARCH must be i686 or x86_64, not $KV_ARCH" >&2; exit 2 ;;
  esac
  export KV_ARCH
}

kv_configure() { # BUILD [cmake arguments...]
  local build=$1 root
  shift
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  local toolchain=$root/cmake/toolchain-mingw32.cmake
  [ "$KV_ARCH" = x86_64 ] && toolchain=$root/cmake/toolchain-mingw64.cmake
  if [ -f "$build/CMakeCache.txt" ]; then
    local built
    built=$(sed -n 's/^KV_ARCH:INTERNAL=//p' "$build/CMakeCache.txt")
    if [ -n "$built" ] && [ "$built" != "$KV_ARCH" ]; then
      echo "$build holds an $built build; name another build folder for $KV_ARCH" >&2
      exit 2
    fi
  fi
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release "$@"
}
