// Lists every partition of N, largest parts first, to the console and the result file.
#include <cerrno>
#include <iostream>

#include "partitions.h"

// Past the stack's capacity the longest partitions could not be held whole.
static bool
read_n(std::int32_t &n)
{
	static const char prompt[] = "Input N : ";
	static const char bad_input[] = "N must be an integer from 0 to 200.\n";
	static_assert(stack_capacity == 200, "the message names the limit");
	put_console(prompt, sizeof prompt - 1);
	forget_last_error();
	if (std::cin >> n && n >= 0 && n <= stack_capacity)
		return true;
	if (errno == 0 || errno == ERANGE)	// none, or libc++'s for a long number
		put_console(bad_input, sizeof bad_input - 1);
	else	// what the system would not give is no fault of the user's
		say("partitions: standard input: " + last_error_text());
	return false;
}

// Steps from each partition to the next in reverse lexicographic order: the
// last part above 1 shrinks by one and what it and the trailing 1s freed is
// laid out again in parts no larger than it.
static void
list_partitions(std::int32_t n)
{
	push_part(n);
	for (;;) {
		write_partition();
		std::int32_t part;
		do
			part = pop_part();
		while (part == 1);
		// Every partition listed, or asked to stop: the line is out whole.
		// Only the flag's own value matters, so it is read relaxed.
		if (part == 0 || stop_signal.load(std::memory_order_relaxed))
			break;
		std::int32_t remaining = stack_depth > 0
		    ? n - part_stack[stack_depth - 1].running_total : n;
		for (part--; remaining > part; remaining -= part)
			push_part(part);
		if (remaining > 0)
			push_part(remaining);
	}
}

int
main(int argc, char **)
{
	// Nothing here writes through C's stdout: libstdc++'s cout then keeps a
	// buffer of its own, two C library calls a line fewer (libc++'s does not).
	std::ios::sync_with_stdio(false);
	// Refused before the file is touched: an option that was meant for
	// something else must not cost the earlier record.
	if (argc > 1) {
		say_usage();
		return 2;	// a usage error
	}
	if (!guard_process() || !open_result_file())
		return 1;

	std::int32_t n;
	bool listed = read_n(n) && empty_result_file();
	if (listed) {
		listing = true;
		list_partitions(n);
		listing = false;
		// A file without its summary is the mark of an interrupted run.
		if (!stop_signal)
			write_summary();
	}
	// Judged before the pause, whose prompt is not part of the listing.
	int status = close_result_file() && listed && !std::cout.fail() ? 0 : 1;
	pause_or_end(status);
	return status;
}
