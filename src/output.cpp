// Both streams' output and every message: the result file from its claim to its close, whole lines only.
#include <cstdio>
#include <iostream>

#include "partitions.h"

static const char result_path[] = "../yorv-.txt";
// "Opening the file failed" and "writing the file failed", as bytes, so that
// the compiler's source character set does not matter.
static const char *const open_failed[] = {"\xB6\x7D\xC0\xC9\xA5\xA2\xB1\xD1: ",
    "\xE9\x96\x8B\xE6\xAA\x94\xE5\xA4\xB1\xE6\x95\x97: "};	// Big5, UTF-8
static const char *const write_failed[] = {"\xBC\x67\xC0\xC9\xA5\xA2\xB1\xD1: ",
    "\xE5\xAF\xAB\xE6\xAA\x94\xE5\xA4\xB1\xE6\x95\x97: "};

static std::ofstream result_file;
static bool stream_is_file[3];	// standard input, output and error
static std::string write_failure;	// in the words of the moment it failed

// Straight to the stream's buffer: write and flush would each build a
// sentry. The flush hands the line to the system in one write call.
static bool
put_text(std::ostream &out, const char *text, int length)
{
	std::streambuf *buf = out.rdbuf();
	return buf->sputn(text, length) == length && buf->pubsync() == 0;
}

// Never into a stream that is the file; one write, so that runs mix no lines.
void
say(const std::string &text)
{
	if (!stream_is_file[2])
		std::cerr << text + '\n';
}

// A failed stream gets nothing more: its buffer still holds what the system
// refused, and would send it again after what the system took. libc++ writes
// through C's stdout, whose error flag alone may tell of a refused line. A
// console's reader that went away is no news to whoever ran the program.
void
put_console(const char *text, int length)
{
	forget_last_error();
	if (!std::cout.good() || (put_text(std::cout, text, length) &&
	    !std::ferror(stdout)))
		return;
	std::cout.setstate(std::ios::badbit);
	std::string why = last_error_text(true);
	if (!why.empty())
		say("partitions: standard output: " + why);
}

// Closed, which may offer the refused bytes once more, and cut back to its
// whole lines at once: however the run ends, the file holds whole lines only.
static void
fail_file()
{
	write_failure = last_error_text();
	result_file.setstate(std::ios::badbit);
	result_file.close();
	cut_claimed_file();
}

// A partition goes to the file first, so that a stop that cannot wait for
// the console finds the line there; the summary to the console first.
void
put_line(const char *text, int length, bool summary)
{
	if (summary)
		put_console(text, length);
	if (result_file.good()) {
		forget_last_error();
		if (put_text(result_file, text, length))
			whole_length.fetch_add(length + file_newline_length - 1,
			    std::memory_order_relaxed);
		else
			fail_file();
	}
	if (!summary)
		put_console(text, length);
}

void
say_usage()
{
	find_file_streams(result_path, stream_is_file);
	say("partitions: usage: partitions "
	    "(it takes no arguments and reads N from standard input)");
}

// What went wrong on standard output (Big5 for a code page 950 console), or
// on standard error if the output is the file; then why, on standard error.
// The hold is let go first: the message may wait on its reader.
static bool
refuse(const std::string &why, const char *const texts[2] = open_failed)
{
	result_file.close();
	release_file();
	std::string text = texts[console_takes_utf8] + std::string(result_path);
	if (!stream_is_file[1])
		put_console((text + '\n').data(), static_cast<int>(text.size() + 1));
	else
		say(text);
	say("partitions: " + std::string(result_path) + ": " + why);
	return false;
}

// One run at a time, never the run's own input or console. Writing is all
// that the file needs to allow.
bool
open_result_file()
{
	bool held, claimed = claim_file(result_path, held);
	std::string error = claimed ? "" : last_error_text();
	find_file_streams(result_path, stream_is_file);
	if (!claimed)
		return refuse(error);
	if (held)
		return refuse("in use by another run");
	if (stream_is_file[0])
		return refuse("is this run's own input");
	if (stream_is_file[1])
		return refuse("is this run's own console");
	return open_stream(result_file, result_path) ||
	    refuse(result_file.is_open() ? "replaced while it was being opened" :
	    last_error_text());
}

// Only once N is accepted, so that a typo keeps the earlier record.
bool
empty_result_file()
{
	whole_length = 0;
	return cut_claimed_file() || refuse(last_error_text());
}

// A full disk may show only here. The file is let go before the pause:
// another run may take it while this one waits for its key.
bool
close_result_file()
{
	if (result_file.is_open()) {
		forget_last_error();
		result_file.close();
		if (result_file.fail())
			fail_file();
	}
	release_file();
	return !result_file.fail() || refuse(write_failure, write_failed);
}
