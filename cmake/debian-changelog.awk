# Turns CHANGELOG.md into the Debian changelog that the package carries as changelog.gz.
# usage: awk -v package=NAME -v version=X.Y.Z -v maintainer="NAME <ADDRESS>" -f debian-changelog.awk CHANGELOG.md

# Debian's date line for a YYYY-MM-DD date. Each entry must be later than
# the one below it, so releases made on one day are a second apart from
# midnight on. The day of the week comes from Zeller's congruence.
function date_line(date, second,    ymd, y, m, d, w, days, months)
{
	split(date, ymd, "-")
	y = ymd[1] + 0; m = ymd[2] + 0; d = ymd[3] + 0
	split("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", months, " ")
	split("Sat Sun Mon Tue Wed Thu Fri", days, " ")
	if (m < 3) { m += 12; y-- }
	w = (d + int(13 * (m + 1) / 5) + y + int(y / 4) - int(y / 100) + \
	    int(y / 400)) % 7
	return sprintf("%s, %02d %s %04d 00:00:%02d +0000", days[w + 1],
	    ymd[3], months[ymd[2] + 0], ymd[1], second)
}

# Work not yet released is not in any package.
/^## \[Unreleased\]/ { next }

# "## [1.1.0] - 2026-12-07" opens an entry, newest first.
/^## \[/ { n++; release[n] = $2; gsub(/[][]/, "", release[n]); date[n] = $4; next }

# "### Added" names the kind of the changes that follow.
/^### / && n { sub(/^### /, ""); changes[n] = changes[n] "  * " $0 ":\n"; next }

# A change, and the lines it wraps onto.
/^(- |  )/ && n { changes[n] = changes[n] "    " $0 "\n" }

END {
	if (release[1] != version) {
		print "CHANGELOG.md does not begin with " version > "/dev/stderr"
		exit 1
	}
	for (i = 1; i <= n; i++) {
		same_day = 0
		for (j = i + 1; j <= n; j++)
			same_day += date[j] == date[i]
		printf "%s (%s) unstable; urgency=medium\n\n%s\n -- %s  %s\n",
		    package, release[i], changes[i], maintainer,
		    date_line(date[i], same_day)
		if (i < n)
			print ""
	}
}
