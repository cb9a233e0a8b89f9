// Unit tests of the line writer: the line format, both streams, the count.
#include <string>
#include <vector>

#include "capture.h"

using WriterTest = Captured;

// One sequence, so that each line is written after the one before it: the
// writer reuses the previous line's text and must notice every change. Last,
// the widest part in every entry: the longest line a listing can hold.
TEST_F(WriterTest, EachLineMatchesTheStackOnBothStreams)
{
	struct Case {
		std::vector<std::int32_t> parts;
		std::string line;
	};
	std::string widest = std::to_string(stack_capacity), longest = widest;
	for (int i = 1; i < stack_capacity; i++)
		longest += "+" + widest;
	const Case cases[] = {
		{{5}, "5\n"},
		{{3, 1, 1}, "3+1+1\n"},
		{{3, 1, 1, 1}, "3+1+1+1\n"},
		{{3, 2}, "3+2\n"},
		{{12, 3}, "12+3\n"},
		{{4, 2, 1}, "4+2+1\n"},
		{{0}, "0\n"},
		{{200, 10, 0}, "200+10+0\n"},
		{std::vector<std::int32_t>(stack_capacity, stack_capacity),
		    longest + "\n"},
	};
	std::string expected;
	std::int64_t lines = 0;
	for (const Case &c : cases) {
		stack_depth = 0;
		for (std::int32_t p : c.parts)
			push_part(p);
		write_partition();
		expected += c.line;
		lines++;
		ASSERT_EQ(console.str(), expected) << c.line;
		ASSERT_EQ(file(), expected) << c.line;
		ASSERT_EQ(partition_count, lines);
	}
}

// The moves of the enumeration: pops shorten the line, pushes change its end.
TEST_F(WriterTest, LinesFollowPopsAndPushes)
{
	struct Step {
		int pops;
		std::vector<std::int32_t> pushes;
		std::string line;
	};
	const Step steps[] = {
		{0, {10, 2, 1}, "10+2+1\n"},
		{1, {}, "10+2\n"},
		{1, {1, 1}, "10+1+1\n"},
		{2, {9, 3}, "10+9+3\n"},
		{3, {7}, "7\n"},
	};
	std::string expected;
	for (const Step &s : steps) {
		for (int i = 0; i < s.pops; i++)
			pop_part();
		for (std::int32_t p : s.pushes)
			push_part(p);
		write_partition();
		expected += s.line;
		ASSERT_EQ(console.str(), expected) << s.line;
		ASSERT_EQ(file(), expected) << s.line;
	}
}

// The summary is counted into the whole lines like any line, so that a
// file cut after it keeps it.
TEST_F(WriterTest, CountGoesPastTheLargest32BitValue)
{
	partition_count = 2147483647;
	set_stack({1});
	write_partition();
	EXPECT_EQ(partition_count, INT64_C(2147483648));
	write_summary();
	const std::string expected = "1\nsum=2147483648\n";
	EXPECT_EQ(console.str(), expected);
	EXPECT_EQ(file(), expected);
	EXPECT_EQ(whole_length, static_cast<std::int64_t>(
	    std::filesystem::file_size(top / "yorv-.txt")));
}
