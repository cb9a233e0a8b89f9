// Unit tests of the partition stack: capacity, the empty stack, running totals.
#include "capture.h"

using StackTest = Captured;

TEST_F(StackTest, FullStackDropsThePartAndSaysSo)
{
	for (int i = 0; i < stack_capacity - 1; i++)
		push_part(1);
	push_part(7);
	EXPECT_EQ(stack_depth, stack_capacity);
	EXPECT_EQ(console.str(), "");

	push_part(9);
	EXPECT_EQ(stack_depth, stack_capacity);
	EXPECT_EQ(console.str(), "stack full.\n");
	EXPECT_EQ(part_stack[stack_capacity - 1].value, 7);
	EXPECT_EQ(part_stack[stack_capacity - 1].running_total, stack_capacity + 6);
	EXPECT_EQ(file(), "");
}

TEST_F(StackTest, PopReturnsTheTopAndLeavesTheTotalBelow)
{
	set_stack({3, 1, 1});
	EXPECT_EQ(pop_part(), 1);
	EXPECT_EQ(stack_depth, 2);
	EXPECT_EQ(part_stack[stack_depth - 1].running_total, 4);
	EXPECT_EQ(pop_part(), 1);
	EXPECT_EQ(pop_part(), 3);
	// Empty, and again: 0 each time, and the stack stays empty.
	for (int i = 0; i < 2; i++) {
		EXPECT_EQ(pop_part(), 0);
		EXPECT_EQ(stack_depth, 0);
	}
}
