#include "context/builder_context.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(BuilderContext, BlockLayoutForTwoMebibytePages) {
  block_layout layout = layout_for_page_unit(0x200000);
  EXPECT_EQ(layout.size, 0xC00000u);
  EXPECT_EQ(layout.text_capacity, 0x970000u);
  EXPECT_EQ(layout.text_capacity, 9895936u);
  EXPECT_EQ(layout.text_end, 0xB70000u);
  EXPECT_EQ(layout.start_directory, 0xB70000u);
  EXPECT_EQ(layout.pNAME_DST, 0xB90000u);
  EXPECT_EQ(layout.walk_path, 0xBB0000u);
  EXPECT_EQ(layout.namespace_path, 0xBD0000u);
  EXPECT_EQ(layout.indent, 0xBE0000u);
  EXPECT_EQ(layout.flat_name, 0xBF0000u);
}

TEST(BuilderContext, InitCarvesTheBlockAndReleaseEmptiesEverything) {
  builder_context context{};
  init_context(context);
  char* block = static_cast<char*>(context.memory.base);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(context.memory.page_unit, 0x200000u);
  EXPECT_EQ(context.memory.size, 0xC00000u);
  EXPECT_EQ(context.memory.unit_count, 6u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 0x200000, 0u) << "aligned to the page unit";
  EXPECT_FALSE(context.memory.physical);
  EXPECT_EQ(context.read_size, 0x200000u);
  EXPECT_EQ(context.text_capacity, 0x970000u);
  EXPECT_EQ(context.text_buffer, block + 0x200000);
  EXPECT_EQ(context.text_end, block + 0xB70000);
  EXPECT_EQ(context.flat_name, block + 0xBF0000);
  EXPECT_EQ(context.namespace_path, block + 0xBD0000);
  EXPECT_EQ(context.namespace_limit, block + 0xBE0000);
  EXPECT_EQ(context.indent[0], 0);
  EXPECT_EQ(context.content_type, 8);
  EXPECT_TRUE(context.hierarchy);
  EXPECT_TRUE(context.blank_line_pending);
  EXPECT_FALSE(context.quiet || context.flat_labels || context.big_endian);
  EXPECT_EQ(std::filesystem::path(context.start_directory), std::filesystem::current_path());

  std::filesystem::path start = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  release_context(context);
  EXPECT_EQ(std::filesystem::current_path(), start) << "start directory restored";
  EXPECT_EQ(context.memory.base, nullptr);
  EXPECT_EQ(context.text_buffer, nullptr);
  EXPECT_EQ(release_work_memory(context.memory), -1) << "no block held";
}
