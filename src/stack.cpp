// The stack of parts that holds the partition being built.
#include <iostream>

#include "partitions.h"

part_entry part_stack[stack_capacity];
std::int32_t stack_depth;
std::int32_t first_changed;

void
push_part(std::int32_t value)
{
	// A local copy: every store into the stack could alias the global.
	std::int32_t depth = stack_depth;
	if (depth == stack_capacity) {
		std::cout << "stack full." << std::endl;
		return;
	}
	std::int32_t below = depth > 0 ? part_stack[depth - 1].running_total : 0;
	part_stack[depth] = {value, value + below};
	if (depth < first_changed)
		first_changed = depth;
	stack_depth = depth + 1;
}

// An empty stack yields 0, which the enumeration takes as its end.
std::int32_t
pop_part()
{
	return stack_depth > 0 ? part_stack[--stack_depth].value : 0;
}
