# The Wine prefix of the Windows tests, for sh scripts to source: a 64-bit
# prefix (32-bit programs run under WOW64, as on a 64-bit Windows) outside the
# source tree.
: "${TAMBERLIN_WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/tamberlin/wine64}"
WINEPREFIX=$TAMBERLIN_WINEPREFIX
WINEARCH=win64
WINEDEBUG=${WINEDEBUG:--all}
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES

# Wine's launcher. `wine` starts every program through Wine's 32-bit loader,
# which a machine that cannot run 32-bit programs refuses ("Exec format
# error"); there only 64-bit Windows programs run, through wine64 directly.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    WINE=wine
    TAMBERLIN_WINE32=1
else
    WINE=/usr/lib/wine/wine64
    WINELOADER=$WINE
    TAMBERLIN_WINE32=0
    export WINELOADER
fi
