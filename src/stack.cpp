// The stack of parts that holds the partition being built.
#include <iostream>

#include "partitions.h"

part_entry part_stack[stack_capacity];
std::int32_t stack_depth;

void
push_part(std::int32_t value)
{
	if (stack_depth == stack_capacity) {
		std::cout << "stack full." << std::endl;
		return;
	}
	part_entry &top = part_stack[stack_depth];
	top.value = value;
	top.running_total = stack_depth == 0 ? value
	    : value + part_stack[stack_depth - 1].running_total;
	stack_depth++;
}

// An empty stack yields 0, which the enumeration takes as its end.
std::int32_t
pop_part()
{
	if (stack_depth < 1)
		return 0;
	return part_stack[--stack_depth].value;
}
