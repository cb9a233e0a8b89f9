// Replays a finished listing as cheaply as a run could write it: one write
// call per line to standard output and one to ../yorv-.txt, or, with
// --streams, the program's own two stream calls per line and stream.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <vector>

// The whole listing in memory first, in as few calls as the system allows.
static bool
load(const char *path, std::vector<char> &text)
{
	int fd = open(path, O_RDONLY);
	struct stat st;
	if (fd < 0 || fstat(fd, &st) != 0)
		return false;
	text.resize(st.st_size);
	for (off_t done = 0; done < st.st_size;) {
		ssize_t got = read(fd, text.data() + done, st.st_size - done);
		if (got <= 0)
			return false;
		done += got;
	}
	return close(fd) == 0;
}

static bool
put_line(std::ostream &out, const char *line, std::streamsize length)
{
	std::streambuf *buf = out.rdbuf();
	return buf->sputn(line, length) == length && buf->pubsync() == 0;
}

int
main(int argc, char **argv)
{
	bool streams = argc == 3 && std::strcmp(argv[1], "--streams") == 0;
	std::vector<char> text;
	if (argc != 2 + streams || !load(argv[argc - 1], text)) {
		std::fprintf(stderr, "usage: floor [--streams] LISTING\n");
		return 2;
	}
	std::ios::sync_with_stdio(false);
	std::ofstream file;
	int fd = -1;
	if (streams)
		file.open("../yorv-.txt");
	else
		fd = open("../yorv-.txt", O_WRONLY | O_CREAT | O_TRUNC, 0666);
	if (!file.is_open() && fd < 0)
		return 1;

	const char *line = text.data(), *end = line + text.size();
	while (line < end) {
		const char *next = static_cast<const char *>(
		    std::memchr(line, '\n', end - line)) + 1;
		bool written = streams
		    ? put_line(file, line, next - line) &&
		      put_line(std::cout, line, next - line)
		    : write(fd, line, next - line) >= 0 &&
		      write(1, line, next - line) >= 0;
		if (!written)
			return 1;
		line = next;
	}
	return 0;
}
