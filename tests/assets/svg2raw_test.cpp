// The converter end to end on small drawings with known colours: byte order, premultiplied
// alpha, mask coverage, appended style sheets and kept rectangles, and refusal of bad input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class Svg2Raw : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/svg2raw_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string write(const std::string& name, const std::string& text) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }

  // Runs the converter; returns its exit status and fills `out` with the written bytes.
  int run(const std::string& args, std::vector<uint8_t>& out) {
    std::string raw = dir_ + "/out.raw";
    std::remove(raw.c_str());
    int status = std::system((std::string(ORQ_SVG2RAW) + " " + args + " " + " 2>/dev/null")
                                 .c_str());
    std::ifstream in(raw, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return status;
  }

  std::string dir_;
};

// Four quadrants: opaque red, half-transparent green, opaque blue, nothing.
const char* kQuadrants = R"(<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4" viewBox="0 0 4 4">
  <rect x="0" y="0" width="2" height="2" fill="#ff0000"/>
  <rect class="g" x="2" y="0" width="2" height="2" fill="#00ff00" fill-opacity="0.5"/>
  <rect x="0" y="2" width="2" height="2" fill="#0000ff"/>
</svg>)";

TEST_F(Svg2Raw, ColourImageIsRgbaPremultipliedRowsTopToBottom) {
  std::string svg = write("q.svg", kQuadrants);
  std::vector<uint8_t> b;
  ASSERT_EQ(run("ri 4 4 " + svg + " " + dir_ + "/out.raw", b), 0);
  ASSERT_EQ(b.size(), 6u + 4 * 4 * 4);
  EXPECT_EQ((std::vector<uint8_t>(b.begin(), b.begin() + 6)),
            (std::vector<uint8_t>{'R', 'I', 4, 0, 4, 0}));
  auto px = [&](int x, int y) {
    const uint8_t* p = b.data() + 6 + (y * 4 + x) * 4;
    return std::vector<int>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(px(0, 0), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(px(3, 1), (std::vector<int>{0, 128, 0, 128}));
  EXPECT_EQ(px(1, 3), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(px(3, 3), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(Svg2Raw, MaskKeepsCoverageOnly) {
  std::string svg = write("q.svg", kQuadrants);
  std::vector<uint8_t> b;
  ASSERT_EQ(run("rm 4 4 " + svg + " " + dir_ + "/out.raw", b), 0);
  EXPECT_EQ(b, (std::vector<uint8_t>{'R', 'M', 4, 0, 4, 0,  //
                                     255, 255, 128, 128,    //
                                     255, 255, 128, 128,    //
                                     255, 255, 0, 0,        //
                                     255, 255, 0, 0}));
}

TEST_F(Svg2Raw, StyleSheetsOverrideTheDrawingAndKeepCutsTheRest) {
  std::string svg = write("q.svg", kQuadrants);
  std::string css = write("x.css", ".g { fill: #0000ff; fill-opacity: 1; }");
  std::vector<uint8_t> b;
  ASSERT_EQ(run("rm 4 4 " + svg + " " + dir_ + "/out.raw --style " + css +
                    " --keep 2,0,2,1 --keep 0,3,1,1",
                b),
            0);
  EXPECT_EQ(b, (std::vector<uint8_t>{'R', 'M', 4, 0, 4, 0,  //
                                     0, 0, 255, 255,        //
                                     0, 0, 0, 0,            //
                                     0, 0, 0, 0,            //
                                     255, 0, 0, 0}));
  ASSERT_EQ(run("ri 4 4 " + svg + " " + dir_ + "/out.raw --css '.g{fill:#ffffff}'", b), 0);
  EXPECT_EQ(b[6 + 3 * 4], 128);  // white at half opacity: R = G = B = A = 128
  EXPECT_EQ(b[6 + 3 * 4 + 2], 128);
}

TEST_F(Svg2Raw, ScalesTheDrawingToTheRequestedSize) {
  std::string svg = write("q.svg", kQuadrants);
  std::vector<uint8_t> b;
  ASSERT_EQ(run("rm 8 8 " + svg + " " + dir_ + "/out.raw", b), 0);
  ASSERT_EQ(b.size(), 6u + 64);
  EXPECT_EQ(b[6 + 3 * 8 + 3], 255);
  EXPECT_EQ(b[6 + 7 * 8 + 7], 0);
}

TEST_F(Svg2Raw, RefusesBadInputWithoutWritingOutput) {
  std::string good = write("q.svg", kQuadrants);
  std::string broken = write("b.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect");
  std::string out = dir_ + "/out.raw";
  const std::string cases[] = {
      "ri 4 4 " + broken + " " + out,
      "ri 4 4 " + dir_ + "/missing.svg " + out,
      "xx 4 4 " + good + " " + out,
      "ri 0 4 " + good + " " + out,
      "ri 4 70000 " + good + " " + out,
      "ri 4 4 " + good + " " + out + " --keep 1,2,3",
      "ri 4 4 " + good + " " + out + " --style " + dir_ + "/missing.css",
      "ri 4 4 " + good + " " + out + " --bogus 1",
      "ri 4 4 " + good,
  };
  for (const std::string& args : cases) {
    SCOPED_TRACE(args);
    std::vector<uint8_t> b;
    EXPECT_NE(run(args, b), 0);
    EXPECT_TRUE(b.empty());
  }
}

}  // namespace
