# shellcheck shell=sh
# Sourced by the wine test scripts. use_wine_prefix <dir>: wine runs headless,
# silent and in a prefix of its own inside the build tree, so nothing of the
# user's own wine set-up takes part in a test.
use_wine_prefix() {
	WINEPREFIX=$1
	WINEARCH=win32
	WINEDEBUG=-all
	# No .NET or HTML engine install attempts while the prefix is created.
	WINEDLLOVERRIDES="mscoree,mshtml="
	export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
	unset DISPLAY WAYLAND_DISPLAY
}
