// A fresh directory for one test's files, removed again afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        dir_ = std::filesystem::temp_directory_path() /
               ("torvanix-test-" + std::to_string(seed()) + std::to_string(seed()));
        ASSERT_TRUE(std::filesystem::create_directory(dir_));
        previous_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }

    void TearDown() override
    {
        std::filesystem::current_path(previous_cwd_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Writes `contents` to `name` inside the directory (the current directory
    // during the test) and returns the name.
    static std::string write_file(const std::string& name, const std::string& contents)
    {
        std::ofstream out(name, std::ios::binary);
        out << contents;
        EXPECT_TRUE(out.good()) << name;
        return name;
    }

    std::filesystem::path dir_;
    std::filesystem::path previous_cwd_;
};
