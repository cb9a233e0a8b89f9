# Keeps, of a Debian copyright file, the stanzas of what partitions.exe links (the MinGW-w64 runtime and winpthreads) and the licences they name.
# usage: awk -f third-party-notices.awk /usr/share/doc/PACKAGE/copyright
# Paragraph mode: each stanza is one record. A Files stanza is kept when one
# of its paths is the runtime's or winpthreads' own (their tests aside) or
# "*", the project's default; a stand-alone License stanza, when a kept one
# names it.
BEGIN { RS = ""; ORS = "\n\n" }
/^Files:/ {
	paths = $0
	sub(/\n[A-Z][^\n]*(\n.*)?$/, "", paths)	# up to the next field
	sub(/^Files:/, "", paths)
	n = split(paths, path, /[ \n]+/)
	keep = 0
	for (i = 1; i <= n; i++)
		if (path[i] == "*" || path[i] ~ /^mingw-w64-crt\// ||
		    (path[i] ~ /^mingw-w64-libraries\/winpthreads\// &&
		    path[i] !~ /tests/))
			keep = 1
	if (!keep)
		next
	print
	if (match($0, /\nLicense: [^\n]*/)) {
		names = substr($0, RSTART + 10, RLENGTH - 10)
		n = split(names, part, / (and|or) /)
		for (i = 1; i <= n; i++)
			wanted[part[i]] = 1
	}
	next
}
/^License:/ {	# in the file's order, whatever awk's order of keys
	split($0, first, "\n")
	named[++licences] = substr(first[1], 10)
	licence[licences] = $0
}
END {
	for (i = 1; i <= licences; i++)
		if (named[i] in wanted)
			print licence[i]
}
