// The result file, from its claim to its close: one run's, whole lines only.
#include <iostream>

#include "partitions.h"

static const char result_path[] = "../yorv-.txt";
// "Opening the file failed" and "writing the file failed", held as bytes so
// that the compiler's source character set does not matter.
static const char open_failed_big5[] = "\xB6\x7D\xC0\xC9\xA5\xA2\xB1\xD1: ";
static const char open_failed_utf8[] =
    "\xE9\x96\x8B\xE6\xAA\x94\xE5\xA4\xB1\xE6\x95\x97: ";
static const char write_failed_big5[] = "\xBC\x67\xC0\xC9\xA5\xA2\xB1\xD1: ";
static const char write_failed_utf8[] =
    "\xE5\xAF\xAB\xE6\xAA\x94\xE5\xA4\xB1\xE6\x95\x97: ";

std::ofstream result_file;
std::int64_t file_length;
// Why writing the file failed, in the words of the moment it failed.
static std::string write_failure;

// Says what went wrong with the result file, and why on standard error.
// Big5 is what a code page 950 console shows; any other gets UTF-8. No
// byte of it goes into the file, even where a standard stream is the file.
static void
report(const char *utf8, const char *big5, const std::string &why)
{
	const char *text = console_takes_utf8() ? utf8 : big5;
	bool console_is_file = standard_is_claimed_file(1);
	if (!console_is_file)
		std::cout << text << result_path << std::endl;
	if (standard_is_claimed_file(2))
		return;
	if (console_is_file)
		std::cerr << text << result_path << '\n';
	std::cerr << "partitions: " << result_path << ": " << why << std::endl;
}

// The stream opens the file without emptying it, so that a name that no
// longer leads to the claimed file costs no one's record; only then is it
// emptied, through the claim.
static bool
open_claimed(std::string &why)
{
	result_file.open(result_path, std::ios::in | std::ios::out);
	if (!result_file.is_open()) {
		why = last_error_text();
		return false;
	}
	if (!path_is_claimed_file(result_path)) {
		why = "replaced while it was being opened";
	} else if (!cut_claimed_file(0)) {
		why = last_error_text();
	} else {
		return true;
	}
	result_file.close();
	return false;
}

bool
open_result_file()
{
	std::string why;
	switch (claim_file(result_path)) {
	case claimed:
		if (open_claimed(why))
			return true;
		break;
	case claim_failed:
		why = last_error_text();
		break;
	case claim_held:
		why = "in use by another run";
		break;
	case claim_is_input:
		why = "is this run's own input";
		break;
	case claim_is_console:
		why = "is this run's own console";
		break;
	}
	report(open_failed_utf8, open_failed_big5, why);
	return false;
}

// A stream that failed gets nothing more, as its sentry would decide: its
// buffer still holds what the system refused, and would send it again after
// what the system took. Closing sends it once more, so the file is closed
// at once, while the device is as it failed, and then cut back to its whole
// lines: from here on, however the run ends, the record holds only those.
void
put_file_line(const char *text, int length)
{
	if (!result_file.good())
		return;
	if (put_line(result_file, text, length)) {
		file_length += length + file_newline_length - 1;
		return;
	}
	write_failure = last_error_text();
	result_file.setstate(std::ios::badbit);
	result_file.close();
	cut_claimed_file(file_length);
}

// A full disk may show only here, when the stream gives up the file.
bool
close_result_file()
{
	if (result_file.is_open()) {
		result_file.close();
		if (result_file.fail()) {
			write_failure = last_error_text();
			cut_claimed_file(file_length);
		}
	}
	if (!result_file.fail())
		return true;
	report(write_failed_utf8, write_failed_big5, write_failure);
	return false;
}
