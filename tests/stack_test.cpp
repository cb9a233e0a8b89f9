// Unit tests of the partition stack: capacity, the empty stack, running totals.
#include <vector>

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

TEST_F(StackTest, EmptyStackPopsZeroAndStaysEmpty)
{
	for (int i = 0; i < 3; i++) {
		EXPECT_EQ(pop_part(), 0);
		EXPECT_EQ(stack_depth, 0);
	}
}

TEST_F(StackTest, ZeroPartIsAnEntryLikeAnyOther)
{
	set_stack({0});
	EXPECT_EQ(stack_depth, 1);
	EXPECT_EQ(pop_part(), 0);
	EXPECT_EQ(stack_depth, 0);
}

TEST_F(StackTest, RunningTotalsFollowThePushes)
{
	struct Case {
		std::vector<std::int32_t> parts, totals;
	};
	const Case cases[] = {
		{{3, 1, 1}, {3, 4, 5}},
		{{5}, {5}},
		{{5, -2, 0, 4}, {5, 3, 3, 7}},
		{{-1, -1}, {-1, -2}},
	};
	for (const Case &c : cases) {
		stack_depth = 0;
		for (std::int32_t p : c.parts)
			push_part(p);
		ASSERT_EQ(stack_depth, static_cast<int>(c.totals.size()));
		for (std::size_t i = 0; i < c.totals.size(); i++) {
			EXPECT_EQ(part_stack[i].value, c.parts[i]) << i;
			EXPECT_EQ(part_stack[i].running_total, c.totals[i]) << i;
		}
	}
}

TEST_F(StackTest, PopReturnsTheTopAndLeavesTheTotalBelow)
{
	set_stack({3, 1, 1});
	EXPECT_EQ(pop_part(), 1);
	EXPECT_EQ(stack_depth, 2);
	EXPECT_EQ(part_stack[stack_depth - 1].running_total, 4);
	EXPECT_EQ(pop_part(), 1);
	EXPECT_EQ(pop_part(), 3);
	EXPECT_EQ(pop_part(), 0);
}
