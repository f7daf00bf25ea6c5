#!/bin/sh
# Runs a Windows program of the build under Wine, in the build's own prefix:
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Nothing is written under the user's home: the prefix is the build's, and
# Wine makes no menu entries or file associations.
prefix=$1
shift
WINEPREFIX=${WINEPREFIX:-$prefix}
WINEDEBUG=${WINEDEBUG:--all}
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
exec wine "$@"
