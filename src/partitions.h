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
extern std::int32_t first_changed;	// lowest entry pushed since the last line
extern std::int64_t partition_count;	// 64 bits: from N = 122 on, past 2^31
void push_part(std::int32_t value);
std::int32_t pop_part();
void write_partition();
void write_summary();

bool open_result_file();
bool empty_result_file();
void put_console(const char *text, int length);
void put_line(const char *text, int length, bool summary);
bool close_result_file();
void say(const std::string &text);	// standard error's line, if not the file
void say_usage();

// Read by a signal routine or console handler, so defined here for the
// platform files. A stop request in the listing is only noted, so that the
// line ends on both streams; a cut keeps whole_length bytes, none at -1.
inline std::atomic<bool> listing;
inline std::atomic<int> stop_signal;
inline std::atomic<std::int64_t> whole_length{-1};
static_assert(std::atomic<std::int64_t>::is_always_lock_free &&
    std::atomic<int>::is_always_lock_free &&
    std::atomic<bool>::is_always_lock_free, "read by a handler");
inline bool console_takes_utf8 = true;	// else code page 950, on Windows
// Well within the seconds that Windows gives a closing console window.
constexpr int stop_grace_ms = 1000;

// One file per platform. claim_file opens the file, not emptied, and locks
// it unless another run holds it: the run's hold until release_file.
bool guard_process();	// false if it cannot guard the run
bool claim_file(const char *path, bool &held);
// Which standard streams are the claimed file, or unclaimed, the one at path.
void find_file_streams(const char *path, bool is_file[3]);
bool open_stream(std::ofstream &stream, const char *path);
bool cut_claimed_file();	// false if it failed; safe in a handler
void release_file();
extern const int file_newline_length;	// CR LF on Windows
void forget_last_error();	// so that the next failure tells its own
std::string last_error_text(bool console = false);	// "": the reader left
void pause_or_end(int status);	// ends a stopped run; status: the run's own

#endif
