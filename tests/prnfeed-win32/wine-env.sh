# Sourced by the wine test scripts after they set wine_prefix.
# Wine runs headless, silent and in a prefix of its own inside the build tree,
# so nothing of the user's own wine set-up takes part in a test.
WINEPREFIX=$wine_prefix
WINEARCH=win32
WINEDEBUG=-all
# No .NET or HTML engine install attempts while the prefix is created.
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
