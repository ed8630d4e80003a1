// The IR file image byte for byte, the name the device stores, the progress figures, and the
// export to a folder: what lands on disk, and what a failing folder leaves behind.
#include "ir/ir_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "device/device_link.h"
#include "device/ir_transfer.h"
#include "device/transfer.h"
#include "files/file_path.h"
#include "ir/catalogue.h"
#include "state/editor_state.h"

namespace {

namespace fs = std::filesystem;

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<uint8_t> readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(IrFile, HeaderAndSamplesByteForByte) {
  const float samples[3] = {1.0f, -0.5f, std::numeric_limits<float>::denorm_min()};
  std::vector<uint8_t> image;
  ASSERT_TRUE(orq::encodeIrFile(samples, 3, image));
  const std::vector<uint8_t> header = {'R', 'I', 'F',  'F',  48,  0,   0,   0,    'W', 'A', 'V',
                                       'E', 'f', 'm',  't',  ' ', 16,  0,   0,    0,   3,   0,
                                       1,   0,   0x80, 0xBB, 0,   0,   0,   0xEE, 2,   0,   4,
                                       0,   32,  0,    'd',  'a', 't', 'a', 12,   0,   0,   0};
  ASSERT_EQ(image.size(), 56u);
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 44), header);
  EXPECT_EQ(le32(image, 44), 0x3F800000u);
  EXPECT_EQ(le32(image, 48), 0xBF000000u);
  EXPECT_EQ(le32(image, 52), 1u);

  // Sizes for the counts the program sends: the limits of the 16-bit transfer fields included.
  for (uint32_t n : {0u, 2396u, 4096u, 9984u, orq::kMaxUploadSamples}) {
    std::vector<float> zeros(n);
    ASSERT_TRUE(orq::encodeIrFile(zeros.data(), n, image)) << n;
    EXPECT_EQ(image.size(), 44 + 4 * size_t{n}) << n;
  }
  EXPECT_EQ(44 + 4 * size_t{orq::kMaxUploadSamples}, 65532u);
  EXPECT_FALSE(orq::encodeIrFile(nullptr, 5, image));
  EXPECT_TRUE(image.empty());
}

TEST(IrFile, DeviceNames) {
  const struct {
    const wchar_t* in;
    const char* out;
  } cases[] = {
      {L"CAB ONE", "CAB ONE"},
      {L"My Cab.wav", "MY CAB"},
      {L"a.b.WAV", "A.B"},
      {L"Cab.WAV.wav", "CAB"},
      {L"x.wave", "X"},
      {L"4X12+V30-B", "4X12+V30-B"},
      // Nothing outside printable ASCII reaches the wire: not é or 一, not a control byte, not a
      // character whose low byte would be '.' or NUL (U+012E, U+0100).
      {L"caf\u00e9 \u4e00.wav", "CAF? ?"},
      {L"a\tb\x7f.wav", "A?B?"},
      {L"x\u012eyz\u0100w", "X?YZ?W"},
      // A name with nothing left is sent as a placeholder, never as an empty field.
      {L".wav", orq::kUnnamedIr},
      {L"", orq::kUnnamedIr},
  };
  for (const auto& c : cases) EXPECT_EQ(orq::deviceIrName(c.in), c.out) << c.out;
  const std::string longName = orq::deviceIrName(std::wstring(70, L'k'));
  EXPECT_EQ(longName, std::string(64, 'K'));
}

TEST(IrFile, ProgressFigures) {
  // After the first chunk of a 4096-sample IR, and after chunks 1, 256 and 511 of a firmware
  // image; nothing is shown for the last chunk (remaining 0), the commit's ACK shows 100.
  EXPECT_EQ(orq::transferPercent(16428 - 256, 16428), 1);
  EXPECT_EQ(orq::transferPercent(131072 - 256, 131072), 0);
  EXPECT_EQ(orq::transferPercent(131072 - 256 * 256, 131072), 50);
  EXPECT_EQ(orq::transferPercent(256, 131072), 99);
  EXPECT_EQ(orq::transferPercent(44, 9628), 99);
}

// EXTRACT ALL against a real folder, through the worker's operation.
class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    link.state = &ui;
    dir = fs::temp_directory_path() / ("orq-export-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
  }
  std::wstring folder() const { return orq::widePath(dir.string()); }

  orq::EditorState ui;
  orq::DeviceLink link;
  fs::path dir;
};

TEST_F(Export, WritesEveryEntryExactlyAndRewritesOnASecondRun) {
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(orq::extractAll(link, folder()));
    size_t files = 0;
    for (const auto& f : fs::directory_iterator(dir)) files += f.is_regular_file();
    EXPECT_EQ(files, 18u) << "no leftovers from the temporary names";
    for (int i = 0; i < orq::kCatalogueSize; ++i) {
      const orq::FactoryIr& e = orq::factoryIr(i);
      const orq::IrSamples ir = orq::blobSamples(e.blob);
      std::vector<uint8_t> want;
      ASSERT_TRUE(orq::encodeIrFile(ir.data, ir.count, want));
      const auto got = readFile(dir / (orq::nativePath(e.name) + ".wav"));
      EXPECT_EQ(got, want) << orq::nativePath(e.name);
    }
  }
  EXPECT_EQ(fs::file_size(dir / (orq::nativePath(orq::factoryIr(2).name) + ".wav")), 9628u);
  EXPECT_EQ(fs::file_size(dir / (orq::nativePath(orq::factoryIr(13).name) + ".wav")), 39980u);
  EXPECT_EQ(fs::file_size(dir / (orq::nativePath(orq::factoryIr(0).name) + ".wav")), 16428u);
  // A cancelled dialog writes nothing and is no failure.
  EXPECT_TRUE(orq::extractAll(link, L""));
}

TEST_F(Export, AFolderThatCannotTakeAFileStopsThereAndReportsIt) {
  // The fourth entry's name is taken by a sub-folder: the first three are written, no later
  // one, and nothing partial is left.
  fs::create_directory(dir / (orq::nativePath(orq::factoryIr(3).name) + ".wav"));
  EXPECT_FALSE(orq::extractAll(link, folder()));
  for (int i = 0; i < orq::kCatalogueSize; ++i) {
    const fs::path p = dir / (orq::nativePath(orq::factoryIr(i).name) + ".wav");
    EXPECT_EQ(fs::is_regular_file(p), i < 3) << i;
    EXPECT_FALSE(fs::exists(p.string() + ".part")) << i;
  }
  // A folder that does not exist, and one that cannot be written (unless we are root).
  EXPECT_FALSE(orq::extractAll(link, folder() + L"/missing"));
  if (::geteuid() != 0) {
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    fs::remove_all(dir / (orq::nativePath(orq::factoryIr(3).name) + ".wav"));
    EXPECT_FALSE(orq::extractAll(link, folder()));
  }
}

TEST_F(Export, AWriteThatFailsLeavesNoPartialFileAndKeepsTheOldCopy) {
  ASSERT_TRUE(orq::extractAll(link, folder()));
  const fs::path first = dir / (orq::nativePath(orq::factoryIr(0).name) + ".wav");
  const auto before = readFile(first);
  // /dev/full takes the open but fails every write; a symlink at the temporary name sends the
  // first file's bytes there.
  fs::create_symlink("/dev/full", first.string() + ".part");
  EXPECT_FALSE(orq::extractAll(link, folder()));
  EXPECT_EQ(readFile(first), before);
  EXPECT_FALSE(fs::exists(fs::symlink_status(first.string() + ".part")));
}

TEST_F(Export, FolderNamesWithAnyCharacters) {
  const fs::path odd = dir / "out \xc3\xa9 \xe4\xb8\x80 \xff";
  fs::create_directory(odd);
  ASSERT_TRUE(orq::extractAll(link, orq::widePath(odd.string())));
  EXPECT_TRUE(fs::is_regular_file(odd / (orq::nativePath(orq::factoryIr(17).name) + ".wav")));
}

}  // namespace
