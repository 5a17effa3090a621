#!/bin/sh
# Runs a Windows executable under Wine, quietly, in the prefix the caller chose
# (the test command gives every build a prefix of its own).
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
