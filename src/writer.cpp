// Writes the partition on the stack as one line to the console and the result file.
#include <charconv>
#include <iostream>

#include "partitions.h"

// Widest part "-2147483648" plus its "+", for every entry, and the newline.
constexpr int line_capacity = stack_capacity * 12 + 1;

std::int64_t partition_count;

// Consecutive partitions share a prefix, so the previous line's text is kept
// and only the parts after the first change are formatted again.
static char line[line_capacity];
static std::int32_t line_value[stack_capacity];	// part shown at each index
static int line_end[stack_capacity];	// where the text of that part ends
static int line_parts;

void
write_partition()
{
	// Entry 0 is written even on an empty stack; callers never ask for that.
	int parts = stack_depth > 0 ? stack_depth : 1;
	int same = 0;
	while (same < parts && same < line_parts &&
	    line_value[same] == part_stack[same].value)
		same++;

	int end = same > 0 ? line_end[same - 1] : 0;
	for (int i = same; i < parts; i++) {
		if (i > 0)
			line[end++] = '+';
		end = std::to_chars(line + end, line + line_capacity,
		    part_stack[i].value).ptr - line;
		line_value[i] = part_stack[i].value;
		line_end[i] = end;
	}
	line_parts = parts;
	line[end++] = '\n';

	result_file.write(line, end).flush();
	std::cout.write(line, end).flush();
	partition_count++;
}
