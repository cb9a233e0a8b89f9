// Test fixture that resets the shared state and captures both output streams.
#ifndef CAPTURE_H
#define CAPTURE_H

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "partitions.h"

class Captured : public ::testing::Test {
protected:
	std::stringstream console, file;
	std::streambuf *saved_console = nullptr, *saved_file = nullptr;

	void SetUp() override
	{
		stack_depth = 0;
		partition_count = 0;
		file_length = 0;
		saved_console = std::cout.rdbuf(console.rdbuf());
		// The basic_ios setter: an ofstream hides it behind its own rdbuf().
		saved_file = static_cast<std::ostream &>(result_file)
		    .rdbuf(file.rdbuf());
	}

	void TearDown() override
	{
		std::cout.rdbuf(saved_console);
		static_cast<std::ostream &>(result_file).rdbuf(saved_file);
	}

	void set_stack(std::initializer_list<std::int32_t> parts)
	{
		stack_depth = 0;
		for (std::int32_t p : parts)
			push_part(p);
	}
};

#endif
