#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/file_reader.h"
#include "temp_dir.h"

namespace {

class FileReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.ok()); }
  std::string write(const std::string& name, const std::string& bytes) {
    std::ofstream(tmp_ / name, std::ios::binary) << bytes;
    return tmp_ / name;
  }
  testdir::TempDir tmp_{"quorl-reader"};
  const std::string& dir_ = tmp_.path();
};

TEST_F(FileReaderTest, ReadsWholeFileWithExactLengthAndNoTerminator) {
  const std::string bytes("ab\0cd\n", 6);
  const std::string path = write("data.bin", bytes);
  uint32_t length = 12345;
  uint8_t* block = platform::read_whole_file(path.c_str(), &length);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), length), bytes);
  std::free(block);
}

TEST_F(FileReaderTest, EmptyFileGivesValidBlockOfLengthZero) {
  const std::string path = write("empty", "");
  uint32_t length = 99;
  uint8_t* block = platform::read_whole_file(path.c_str(), &length);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(length, 0u);
  std::free(block);
}

TEST_F(FileReaderTest, FailuresReturnNullAndLeaveLengthUntouched) {
  uint32_t length = 777;
  EXPECT_EQ(platform::read_whole_file((dir_ + "/missing").c_str(), &length), nullptr);
  EXPECT_EQ(platform::read_whole_file(dir_.c_str(), &length), nullptr);  // a directory
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(platform::read_whole_file(fifo.c_str(), &length), nullptr);  // never blocks
  EXPECT_EQ(length, 777u);
}

TEST_F(FileReaderTest, WorksWithoutALengthPlace) {
  const std::string path = write("x", "hello");
  uint8_t* block = platform::read_whole_file(path.c_str(), nullptr);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(0, std::memcmp(block, "hello", 5));
  std::free(block);
}

}  // namespace
