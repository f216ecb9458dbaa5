#include "memory/physical_memory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring diagnosis(const physical_block_figures& figures) {
  wchar_t out[2048];
  int n = format_physical_diagnosis(figures, out, 2048);
  EXPECT_GT(n, 0);
  return std::wstring(out, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

TEST(PhysicalMemory, DiagnosisOfATwelveMebibyteBlockThatWasRefused) {
  // 12 MiB of 4,096-byte pages: 3,072 pages and a 24 KB frame array.
  physical_block_figures f{4096, 3072, 0, 3072 * 8, 0x1234, 0, false, false};
  EXPECT_EQ(diagnosis(f),
            L":: AWE         0 MB physical RAM at: 0x0000000000000000\n"
            L"\n"
            L"Memory to request for PFN array\t      24 KB\taPFNs [0x00001234]\n"
            L"Requested number of pages\t    3072\tRequested    12 MB\n"
            L"Received  number of pages\t       0\tReceived      0 MB\n"
            L"AllocateUserPhysicalPages\t[FAILED]\tpage size  4096 bytes\n"
            L"MapUserPhysicalPages\t\t[FAILED]\n");
}

TEST(PhysicalMemory, DiagnosisOfAPartialGrantHasNoAweLine) {
  // Fewer pages than asked for, but allocated and mapped.
  physical_block_figures f{4096, 3072, 1024, 3072 * 8, 0xABCDEF, 0x7fff0000, true, true};
  EXPECT_EQ(diagnosis(f),
            L"\n"
            L"Memory to request for PFN array\t      24 KB\taPFNs [0x00abcdef]\n"
            L"Requested number of pages\t    3072\tRequested    12 MB\n"
            L"Received  number of pages\t    1024\tReceived      4 MB\n"
            L"AllocateUserPhysicalPages\t    [OK]\tpage size  4096 bytes\n"
            L"MapUserPhysicalPages\t\t    [OK]\n");
}

TEST(PhysicalMemory, DiagnosisNamesEachFailedStep) {
  physical_block_figures allocated_not_mapped{4096, 3072, 3072, 24576, 0x10, 0, true, false};
  std::wstring text = diagnosis(allocated_not_mapped);
  EXPECT_EQ(text.rfind(L":: AWE        12 MB physical RAM at: 0x0000000000000000\n", 0), 0u) << text.c_str();
  EXPECT_NE(text.find(L"AllocateUserPhysicalPages\t    [OK]\t"), std::wstring::npos);
  EXPECT_NE(text.find(L"MapUserPhysicalPages\t\t[FAILED]\n"), std::wstring::npos);

  physical_block_figures mapped_not_allocated{4096, 3072, 0, 24576, 0x10, 0x200000, false, true};
  text = diagnosis(mapped_not_allocated);
  EXPECT_EQ(text.rfind(L":: AWE         0 MB physical RAM at: 0x0000000000200000\n", 0), 0u) << text.c_str();
  EXPECT_NE(text.find(L"AllocateUserPhysicalPages\t[FAILED]\t"), std::wstring::npos);
  EXPECT_NE(text.find(L"MapUserPhysicalPages\t\t    [OK]\n"), std::wstring::npos);
}

TEST(PhysicalMemory, WithoutThePrivilegeTheAlignedBlockIsTakenSilently) {
  work_memory memory{};
  testing::internal::CaptureStderr();
  ASSERT_EQ(obtain_work_memory(memory), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NE(memory.base, nullptr);
  EXPECT_FALSE(memory.physical);
  EXPECT_EQ(memory.size, 6 * memory.page_unit);
  EXPECT_EQ(release_work_memory(memory), 0);
  EXPECT_EQ(release_work_memory(memory), -1);
}
