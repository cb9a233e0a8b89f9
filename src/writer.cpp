// Writes the partition on the stack as one line to the console and the result file.
#include <array>
#include <charconv>
#include <cstring>
#include <iostream>

#include "partitions.h"

// Widest part "-2147483648" and its "+", for every entry, then the newline.
constexpr int line_capacity = stack_capacity * 12 + 1;

std::int64_t partition_count;

// "+" and the digits of every part that a listing can hold, formatted once
// and padded to four bytes so that each is copied in one move.
struct part_text {
	char text[4];
	int length;
};

static const std::array<part_text, stack_capacity + 1> part_texts = [] {
	std::array<part_text, stack_capacity + 1> texts{};
	for (int value = 0; value <= stack_capacity; value++) {
		part_text &t = texts[value];
		t.text[0] = '+';
		t.length = static_cast<int>(std::to_chars(t.text + 1,
		    t.text + sizeof t.text, value).ptr - t.text);
	}
	return texts;
}();

// Consecutive partitions share a prefix, so the previous line's text is kept
// and only the parts from the first change on are formatted again.
static char line[line_capacity];
static int line_end[stack_capacity];	// where the text of each part ends

// Writes "+" and the part at end. The line is kept with a "+" in front of
// its first part too, so that every part is formatted alike; it is written
// from its second character.
static int
put_part(int end, std::int32_t value)
{
	if (static_cast<std::uint32_t>(value) <= stack_capacity) {
		const part_text &t = part_texts[value];
		// Every part has room for 12 characters, so all four bytes fit.
		std::memcpy(line + end, t.text, sizeof t.text);
		return end + t.length;
	}
	line[end] = '+';
	return static_cast<int>(std::to_chars(line + end + 1,
	    line + line_capacity, value).ptr - line);
}

// Straight to the stream's buffer: ostream::write and flush would each build
// a sentry, for every line and stream. The flush hands the line to the
// system in one write call.
bool
put_line(std::ostream &out, const char *text, int length)
{
	std::streambuf *buf = out.rdbuf();
	return buf->sputn(text, length) == length && buf->pubsync() == 0;
}

// A console that failed gets nothing more: its buffer still holds what the
// system refused, and would send it again after what the system took.
static void
to_console(const char *text, int length)
{
	if (std::cout.good() && !put_line(std::cout, text, length))
		std::cout.setstate(std::ios::badbit);
}

void
write_partition()
{
	// Entry 0 is written even on an empty stack; callers never ask for that.
	int parts = stack_depth > 0 ? stack_depth : 1;
	int same = first_changed < parts ? first_changed : parts;
	int end = same > 0 ? line_end[same - 1] : 0;
	for (int i = same; i < parts; i++)
		line_end[i] = end = put_part(end, part_stack[i].value);
	first_changed = parts;
	line[end++] = '\n';

	// The file first: a stop that cannot wait for the console finds the
	// line there already.
	put_file_line(line + 1, end - 1);
	to_console(line + 1, end - 1);
	partition_count++;
}

void
write_summary()
{
	static const char label[] = "sum=";
	// Any 64-bit count fits in 20 characters; the newline takes the NUL's room.
	char text[sizeof label + 20];
	std::memcpy(text, label, sizeof label - 1);
	char *end = std::to_chars(text + sizeof label - 1, text + sizeof text,
	    partition_count).ptr;
	*end++ = '\n';
	int length = static_cast<int>(end - text);
	to_console(text, length);
	put_file_line(text, length);
}
