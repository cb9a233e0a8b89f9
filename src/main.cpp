// Lists every partition of N, largest parts first, to the console and the result file.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "partitions.h"

static const char result_path[] = "../yorv-.txt";
static const char bad_input_text[] = "N must be an integer from 0 to 200.";
static_assert(stack_capacity == 200, "the message above names the limit");
// "Opening the file failed" and "writing the file failed", held as bytes so
// that the compiler's source character set does not matter.
static const char open_failed_big5[] = "\xB6\x7D\xC0\xC9\xA5\xA2\xB1\xD1: ";
static const char open_failed_utf8[] =
    "\xE9\x96\x8B\xE6\xAA\x94\xE5\xA4\xB1\xE6\x95\x97: ";
static const char write_failed_big5[] = "\xBC\x67\xC0\xC9\xA5\xA2\xB1\xD1: ";
static const char write_failed_utf8[] =
    "\xE5\xAF\xAB\xE6\xAA\x94\xE5\xA4\xB1\xE6\x95\x97: ";

std::ofstream result_file;

// Says what went wrong with the result file. Big5 is what a code page 950
// console shows; any other gets UTF-8.
static void
report_file_failure(const char *utf8, const char *big5)
{
	std::cout << (console_takes_utf8() ? utf8 : big5) << result_path
	    << std::endl;
}

// A device that cut a line keeps what it took of it, and closing a failed
// stream sends the refused line once more, whole, where it may now fit:
// either would leave the record with a line that is no partition of N.
// A device that cannot be cut, such as /dev/full, holds nothing anyway.
static void
keep_whole_lines()
{
	// Static, so that main does not hold the path's clean-up: inlined into
	// main with it, the listing loop took four more instructions a line.
	static const std::filesystem::path path = result_path;
	std::error_code ignored;
	std::filesystem::resize_file(path,
	    static_cast<std::uintmax_t>(file_length), ignored);
}

// Past the stack's capacity the longest partitions could not be held whole.
static bool
read_n(std::int32_t &n)
{
	std::cout << "Input N : " << std::flush;
	return std::cin >> n && n >= 0 && n <= stack_capacity;
}

// Steps from each partition to the next in reverse lexicographic order: the
// last part above 1 shrinks by one and what it and the trailing 1s freed is
// laid out again in parts no larger than it.
static void
list_partitions(std::int32_t n)
{
	stack_depth = 0;
	push_part(n);
	for (;;) {
		write_partition();
		std::int32_t part;
		do
			part = pop_part();
		while (part == 1);
		// Every partition listed, or asked to stop: the line is out whole.
		// Only the flag's own value matters, so it is read relaxed.
		if ((stack_depth == 0 && part == 0) ||
		    stop_signal.load(std::memory_order_relaxed))
			break;

		std::int32_t remaining = stack_depth > 0
		    ? n - part_stack[stack_depth - 1].running_total : n;
		part--;
		push_part(part);
		remaining -= part;
		while (remaining > 0) {
			if (remaining > part) {
				remaining -= part;
				push_part(part);
			} else {
				push_part(remaining);
				remaining = 0;
			}
		}
	}
}

int
main()
{
	// Nothing here writes through C's stdout, so cout need not keep in step
	// with it; its own buffer saves two C library calls for every line.
	std::ios::sync_with_stdio(false);
	if (!guard_process())
		return EXIT_FAILURE;
	if (claim_result_file(result_path))
		result_file.open(result_path);
	if (!result_file.is_open()) {
		report_file_failure(open_failed_utf8, open_failed_big5);
		return EXIT_FAILURE;
	}

	std::int32_t n;
	bool accepted = read_n(n);
	if (!accepted) {
		std::cout << bad_input_text << std::endl;
	} else {
		catch_stop_signals();
		list_partitions(n);
		release_stop_signals();
		// A file without its summary is the mark of an interrupted run.
		if (!stop_signal)
			write_summary();
	}

	// A full disk shows only here: the stream keeps its failure until closed.
	result_file.close();
	bool file_whole = !result_file.fail();
	if (!file_whole) {
		keep_whole_lines();
		report_file_failure(write_failed_utf8, write_failed_big5);
	}
	// End as an interrupted program ends, so that the shell sees it.
	if (stop_signal)
		end_as_interrupted();	// GCOVR_EXCL_LINE: counts die with it
	// Judged before the pause, whose prompt is not part of the listing.
	bool whole = accepted && file_whole && !std::cout.fail();
	pause_console();
	return whole ? EXIT_SUCCESS : EXIT_FAILURE;
}
