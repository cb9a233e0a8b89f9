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
// below it are unchanged, so their text can be kept.
extern std::int32_t first_changed;
// 64 bits: from N = 122 on there are more partitions than a 32-bit count holds.
extern std::int64_t partition_count;
void push_part(std::int32_t value);
std::int32_t pop_part();
void write_partition();
void write_summary();

// Both streams' output and every message, none into the result file. A
// partition goes to the file, then the console; the summary to the
// console, then the file. The file is emptied only once N is accepted, so
// that a typo keeps the earlier record. Each says why when it fails.
bool open_result_file();
bool empty_result_file();
void put_console(const char *text, int length);
void put_partition_line(const char *text, int length);
void put_summary_line(const char *text, int length);
bool close_result_file();
void say_usage();
void say_bad_input();

// What the system decides, one file per platform. Opens the file without
// emptying it, false if it could not: the run's hold on it until
// release_file. Only once locked against every other run is it the run's.
bool claim_file(const char *path);
bool lock_claim();
// Which standard streams (0 to 2) are the result file: by the claim, or by
// its name where the run holds none.
extern bool stream_is_file[3];
void find_file_streams(const char *path);
// Opens the stream on the claimed file itself; false if it could not, or if
// the name led elsewhere by then, which leaves the stream open.
bool open_stream(std::ofstream &stream, const char *path);
// Bytes of the whole lines in the file, which a cut keeps; -1 while none of
// it is the run's to cut: before the run empties it, and once it lets it go.
extern std::atomic<std::int64_t> whole_length;
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "a handler's");
extern const int file_newline_length;	// CR LF on Windows
// Cuts the file back to whole_length; false if that failed. A device that
// cannot be cut holds nothing to cut.
bool cut_claimed_file();
void release_file();
// The system's words for the error of the call that just failed.
std::string last_error_text();
// So that a write that fails next is told by its own error: a C runtime
// may give a short write the system's error from an earlier call.
void forget_last_error();
// Why the console's write failed; empty when its reader went away.
std::string console_failure();
// Whether the console shows UTF-8; otherwise it is a code page 950 one.
bool console_takes_utf8();

// Keeps the result file from taking the place of a closed standard stream,
// whose writes fail; makes a console that goes away or a size limit a
// write that fails; and takes the signals that end or stop the run, so
// that the file keeps whole lines and the terminal is given back. False if
// it could not.
bool guard_process();
// While listing is set, a request to stop is noted in stop_signal, so that
// the line is finished on both streams; a second, or a console that holds
// the line back, ends the run at once. The signal on POSIX, the console
// event plus one on Windows.
extern std::atomic<bool> listing;
extern std::atomic<int> stop_signal;
static_assert(std::atomic<int>::is_always_lock_free &&
    std::atomic<bool>::is_always_lock_free, "a handler's");
// Ends the process as the platform's interrupted programs end.
void end_as_interrupted();
// Keeps an interactive console window open until a key is pressed.
void pause_console();

#endif
