// State and routines shared by the partition lister's source files.
#ifndef PARTITIONS_H
#define PARTITIONS_H

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>

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
void push_part(std::int32_t value);
std::int32_t pop_part();
void write_partition();
// The "sum=" line, with partition_count.
void write_summary();
// Hands one line to a stream's buffer and flushes it: false if it failed.
bool put_line(std::ostream &out, const char *text, int length);

// The result file, from its claim to its close.
extern std::ofstream result_file;
// Bytes of the whole lines that the result file has taken, so that a file
// its device cut can be taken back to them; a line end takes
// file_newline_length bytes there (CR LF on Windows).
extern std::int64_t file_length;
extern const int file_newline_length;
// Claims the result file, opens it and empties it; false, having said why,
// if it cannot be this run's alone.
bool open_result_file();
// Adds one line to the result file. One that fails is cut back at once to
// the whole lines before it, and the file gets nothing more.
void put_file_line(const char *text, int length);
// Closes the result file; false, having said why, if it was not written in
// full.
bool close_result_file();

// The result file's steps at the level of its descriptor (POSIX) or handle
// (Windows), in each platform's file. What claiming the file found:
enum claim_outcome {
	claimed, claim_failed, claim_held, claim_is_input, claim_is_console
};
// Opens the file without emptying it, creating it if need be, and locks it
// against every other run. Its descriptor is the run's hold on the file to
// the end: nothing but these functions reaches the file by that hold.
claim_outcome claim_file(const char *path);
// Whether standard descriptor fd (0, 1 or 2) is the claimed file.
bool standard_is_claimed_file(int fd);
// Whether the path still leads to the claimed file.
bool path_is_claimed_file(const char *path);
// Shortens the claimed file to length bytes, never lengthens it; a device
// that cannot be cut holds nothing to cut. False if it failed.
bool cut_claimed_file(std::int64_t length);
// The system's words for the error last seen.
std::string last_error_text();

// Whether the console shows UTF-8; otherwise it is a code page 950 console.
bool console_takes_utf8();
// Keeps an interactive console window open until a key is pressed.
void pause_console();
// Undoes what the parent may leave that would defeat the run: opens any
// closed standard descriptor on the null device, so that no file takes its
// place, a closed console counting as one that failed, and lets through
// the stop signals that an inherited mask blocks. Makes a console that
// goes away or a file-size limit a write that fails, not the end of the
// run; from here on a stop request ends it as interrupted. False if it
// could not.
bool guard_process();
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
