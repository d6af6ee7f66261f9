// The kernel image itself: an x64 native-subsystem PE that imports from ntoskrnl.exe and
// hal.dll only. Read with a small reader of its own, as the loader would see it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

#if defined(QEVRIN_DRIVER_IMAGE)

struct PeImage {
  std::vector<uint8_t> Bytes;
  uint32_t U32(size_t at) const {
    return at + 4 <= Bytes.size() ? Bytes[at] | Bytes[at + 1] << 8 | Bytes[at + 2] << 16 | uint32_t(Bytes[at + 3]) << 24
                                  : 0;
  }
  uint16_t U16(size_t at) const { return at + 2 <= Bytes.size() ? uint16_t(Bytes[at] | Bytes[at + 1] << 8) : 0; }
  // File offset of a relative virtual address, through the section table.
  size_t Offset(uint32_t rva) const {
    size_t pe = U32(0x3C);
    size_t sections = pe + 24 + U16(pe + 20);
    for (unsigned i = 0; i < U16(pe + 6); ++i) {
      size_t s = sections + 40 * i;
      uint32_t start = U32(s + 12), size = U32(s + 8), raw = U32(s + 20);
      if (rva >= start && rva < start + size) return raw + (rva - start);
    }
    return 0;
  }
  std::string Text(size_t at) const {
    std::string text;
    while (at < Bytes.size() && Bytes[at]) text += char(Bytes[at++]);
    return text;
  }
};

PeImage Load() {
  PeImage image;
  FILE *file = fopen(QEVRIN_DRIVER_IMAGE, "rb");
  if (file == nullptr) return image;
  int c;
  while ((c = fgetc(file)) != EOF) image.Bytes.push_back(uint8_t(c));
  fclose(file);
  return image;
}

TEST(DriverImage, IsAnX64NativeImageImportingOnlyTheKernelAndHal) {
  PeImage image = Load();
  ASSERT_GT(image.Bytes.size(), 0x400u) << QEVRIN_DRIVER_IMAGE;
  ASSERT_EQ('M', image.Bytes[0]);
  size_t pe = image.U32(0x3C);
  ASSERT_EQ(0x00004550u, image.U32(pe));
  EXPECT_EQ(0x8664, image.U16(pe + 4));
  size_t optional = pe + 24;
  ASSERT_EQ(0x20B, image.U16(optional));
  EXPECT_EQ(1, image.U16(optional + 68));
  EXPECT_NE(0u, image.U32(optional + 16));
  EXPECT_NE(0u, image.U32(optional + 112 + 5 * 8)) << "no relocations";
  uint32_t importRva = image.U32(optional + 112 + 8);
  ASSERT_NE(0u, importRva);
  std::set<std::string> dlls;
  for (size_t d = image.Offset(importRva); d && image.U32(d + 12) != 0; d += 20) {
    std::string name = image.Text(image.Offset(image.U32(d + 12)));
    for (char &ch : name) ch = char(tolower(ch));
    dlls.insert(name);
  }
  EXPECT_TRUE(dlls.count("ntoskrnl.exe"));
  for (const std::string &dll : dlls) EXPECT_TRUE(dll == "ntoskrnl.exe" || dll == "hal.dll") << dll;
}

#endif

}  // namespace
