# The Wine prefix of the Windows tests, for sh scripts to source: a 64-bit
# prefix (32-bit programs run under WOW64, as on a 64-bit Windows) outside the
# source tree.
: "${TAMBERLIN_WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/tamberlin/wine64}"
WINEPREFIX=$TAMBERLIN_WINEPREFIX
WINEARCH=win64
WINEDEBUG=${WINEDEBUG:--all}
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
