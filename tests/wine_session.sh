#!/bin/sh
# Starts the Wine server and its helper processes once for the whole suite.
# usage: wine_session.sh WINE
# Wine's helpers outlive each program and would hold a test's output open
# for seconds; started here, with their output in a log, they serve every
# test. The prefix is the build's own, named by WINEPREFIX; a second one,
# WINEPREFIX-other, stands for another Wine installation on the host.
log=$WINEPREFIX.log
start() {
	for prefix in "$WINEPREFIX" "$WINEPREFIX-other"; do
		export WINEPREFIX="$prefix"
		# A server left by an earlier run may be one about to exit.
		mkdir -p "$prefix" && wineserver -k
		wineserver -w
		wineserver -p60 && "$1" cmd /c exit || return 1
	done
}
start "$1" </dev/null >"$log" 2>&1 && exit 0
echo "the Wine session did not start; its log, $log:"
cat "$log"
exit 1
