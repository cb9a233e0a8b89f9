// State and routines shared by the partition lister's source files.
#ifndef PARTITIONS_H
#define PARTITIONS_H

#include <atomic>
#include <cstdint>
#include <fstream>

constexpr std::int32_t stack_capacity = 200;

struct part_entry {
	std::int32_t value;
	std::int32_t running_total;	// sum of value over this entry and all below
};

extern part_entry part_stack[stack_capacity];
extern std::int32_t stack_depth;
// Lowest index pushed since the stack was last written out: the entries
// below it are unchanged, so their text can be kept. Only push_part
// changes entries.
extern std::int32_t first_changed;
// 64 bits: from N = 122 on there are more partitions than a 32-bit count holds.
extern std::int64_t partition_count;
extern std::ofstream result_file;
// Bytes of the whole lines that the result file has taken, so that a file
// its device cut can be taken back to them; a line end takes
// file_newline_length bytes there (CR LF on Windows).
extern std::int64_t file_length;
extern const int file_newline_length;

void push_part(std::int32_t value);
std::int32_t pop_part();
void write_partition();
// The "sum=" line, with partition_count.
void write_summary();

// Whether the console shows UTF-8; otherwise it is a code page 950 console.
bool console_takes_utf8();
// Keeps an interactive console window open until a key is pressed.
void pause_console();
// Undoes what the parent may leave that would defeat the run: opens any
// closed standard descriptor on the null device, so that no file takes its
// place, and lets through the stop signals that an inherited mask blocks.
// Makes a console that goes away or a file-size limit a write that fails,
// not the end of the run. False if it could not.
bool guard_process();
// Makes the result file this run's alone, before it is emptied: false if
// another run holds it, or it is this run's own input or console. Held
// to the end of the run.
bool claim_result_file(const char *path);
// While the listing runs, a request to stop is noted here, not acted on at
// once, so that the line being written is finished on both streams; a
// second request, or a console that holds the line back, ends it at once.
// Nonzero once noted; set from a signal handler or, on Windows, another
// thread.
extern std::atomic<int> stop_signal;
static_assert(std::atomic<int>::is_always_lock_free, "safe in a handler");
void catch_stop_signals();
void release_stop_signals();
// Ends the process as the platform's interrupted programs end.
void end_as_interrupted();

#endif
