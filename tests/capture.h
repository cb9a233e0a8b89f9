// Test fixture that resets the shared state, captures the console and gives each test a result file of its own.
#ifndef CAPTURE_H
#define CAPTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "partitions.h"

class Captured : public ::testing::Test {
protected:
	std::stringstream console;
	std::streambuf *saved_console = nullptr;
	std::filesystem::path saved_dir, top;

	// The program's own file, in top/, opened from top/work.
	void SetUp() override
	{
		stack_depth = 0;
		partition_count = 0;
		saved_dir = std::filesystem::current_path();
		top = std::filesystem::temp_directory_path() /
		    ("partitions-" + std::to_string(std::random_device{}()));
		std::filesystem::create_directories(top / "work");
		std::filesystem::current_path(top / "work");
		ASSERT_TRUE(open_result_file() && empty_result_file());
		saved_console = std::cout.rdbuf(console.rdbuf());
	}

	void TearDown() override
	{
		std::cout.rdbuf(saved_console);
		EXPECT_TRUE(close_result_file());
		std::filesystem::current_path(saved_dir);
		std::filesystem::remove_all(top);
	}

	// As a text file: CR LF ends read as \n on Windows.
	std::string file() const
	{
		std::ifstream in(top / "yorv-.txt");
		std::stringstream text;
		text << in.rdbuf();
		return text.str();
	}

	void set_stack(std::initializer_list<std::int32_t> parts)
	{
		stack_depth = 0;
		for (std::int32_t p : parts)
			push_part(p);
	}
};

#endif
