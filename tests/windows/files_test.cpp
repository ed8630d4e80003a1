// Files under names outside the ANSI code page, the way a Windows user's folders are named:
// EXTRACT ALL writes every factory IR there and a second run replaces what the first left (the
// rename into place must replace on Windows too), and the WAV import reads a file there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/ir_transfer.h"
#include "files/file_path.h"
#include "ir/catalogue.h"
#include "ir/ir_file.h"
#include "ir/wav_import.h"
#include "state/editor_state.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WideNames : public ::testing::Test {
 protected:
  void SetUp() override {
    link.state = &ui;
    std::random_device seed;
    do {
      dir = fs::temp_directory_path() /
            orq::filePath(L"orq caf\u00e9 \u4e00 \U0001F3B8 " + std::to_wstring(seed()));
    } while (!fs::create_directory(dir));
  }
  void TearDown() override { fs::remove_all(dir); }

  orq::EditorState ui;
  orq::DeviceLink link;
  fs::path dir;
};

TEST_F(WideNames, ExtractAllWritesAndReplacesEveryFile) {
  const std::wstring folder = orq::pathText(dir);
  const fs::path first = orq::filePath(folder + L"/" + orq::factoryIr(0).name + L".wav");
  { std::ofstream(first, std::ios::binary) << "an older, shorter file"; }
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(orq::extractAll(link, folder));
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) files += entry.is_regular_file();
    EXPECT_EQ(files, orq::kCatalogueSize) << "no temporary files left";
    for (int i = 0; i < orq::kCatalogueSize; ++i) {
      const orq::FactoryIr& e = orq::factoryIr(i);
      const orq::IrSamples ir = orq::blobSamples(e.blob);
      std::vector<uint8_t> want;
      ASSERT_TRUE(orq::encodeIrFile(ir.data, ir.count, want));
      EXPECT_EQ(readAll(orq::filePath(folder + L"/" + e.name + L".wav")), want);
    }
  }
}

TEST_F(WideNames, WavImportReadsTheFile) {
  std::vector<float> samples(600);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = i % 50 == 0 ? 0.5f : 0.1f;
  std::vector<uint8_t> wav;
  ASSERT_TRUE(orq::encodeIrFile(samples.data(), static_cast<uint32_t>(samples.size()), wav));
  const std::wstring path = orq::pathText(dir) + L"/M\u00f6tley \u30ad\u30e3\u30d6.wav";
  {
    std::ofstream out(orq::filePath(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
  }
  const orq::ImportedIr ir = orq::importWavFile(path);
  EXPECT_EQ(ir.verdict, orq::WavVerdict::Accepted);
  EXPECT_EQ(ir.samples, samples);
  EXPECT_EQ(orq::fileName(path), L"M\u00f6tley \u30ad\u30e3\u30d6.wav");
}

}  // namespace
