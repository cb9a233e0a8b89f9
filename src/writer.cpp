// Turns the partition on the stack into one line of text, and counts the lines.
#include <array>
#include <charconv>
#include <cstring>

#include "partitions.h"

std::int64_t partition_count;

// "+" and the digits of every part a listing can hold, formatted once and
// padded to four bytes, so that each is copied in one move.
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

// Consecutive partitions share a prefix: only the parts from the first
// change on are formatted again. A "+" leads the first part too, so that
// every part is formatted alike; the line is written from its second byte.
static char line[stack_capacity * sizeof(part_text::text) + 1];
static int line_end[stack_capacity];	// where the text of each part ends

void
write_partition()
{
	int parts = stack_depth;
	int same = first_changed < parts ? first_changed : parts;
	int end = same > 0 ? line_end[same - 1] : 0;
	for (int i = same; i < parts; i++) {
		const part_text &t = part_texts[part_stack[i].value];
		std::memcpy(line + end, t.text, sizeof t.text);
		line_end[i] = end += t.length;
	}
	first_changed = parts;
	line[end++] = '\n';
	put_line(line + 1, end - 1, false);
	partition_count++;
}

void
write_summary()
{
	// The label, up to 20 characters of a 64-bit count, and the newline.
	char text[4 + 20 + 1] = "sum=";
	char *end = std::to_chars(text + 4, text + sizeof text - 1,
	    partition_count).ptr;
	*end++ = '\n';
	put_line(text, static_cast<int>(end - text), true);
}
