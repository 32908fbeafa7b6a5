# Sourced by the scripts that run Wine: picks the Wine loader for the
# architecture in KV_WINE_ARCH (i686 or x86_64) and sets $KV_WINE to it.
# Debian's `wine` script always takes the 32-bit loader when wine32 is
# installed, and its tools go through that script, so 64-bit programs are run
# by the 64-bit loader named here, in a prefix made for it.
case "${KV_WINE_ARCH:-i686}" in
  x86_64)
    export WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
    KV_WINE=/usr/lib/wine/wine64 ;;
  i686)
    KV_WINE=wine ;;
  *)
    echo "unknown architecture: $KV_WINE_ARCH (i686 or x86_64)" >&2
    exit 2 ;;
esac
