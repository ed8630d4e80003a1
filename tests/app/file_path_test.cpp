// File names as the panel shows them, and paths surviving the trip between the program's wide
// strings and the file system's bytes, whatever bytes a name holds.
#include "app/file_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FilePath, FileNameIsTheLastComponentAfterTheRootName) {
  struct Case {
    const wchar_t* path;
    const wchar_t* name;
  };
  const Case cases[] = {
      {L"C:\\IRs\\My Cab.wav", L"My Cab.wav"},
      {L"D:/x/y.wave", L"y.wave"},
      {L"C:/a\\b.wav", L"b.wav"},  // mixed separators
      {L"C:cab.wav", L"cab.wav"},  // drive-relative
      {L"cab", L"cab"},
      {L"C:\\IRs\\", L""},  // ends with a separator
      {L"/", L""},
      {L"C:", L""},  // a root name alone
      {L"", L""},
      {L"/home/u/\u00e9 \u4e00.wav", L"\u00e9 \u4e00.wav"},
      {L"1:cab.wav", L"1:cab.wav"},  // not a drive letter
      // A network prefix is the root name, so the share is the last component; the server
      // alone is only a root name.
      {L"\\\\server\\share", L"share"},
      {L"\\\\server\\share\\x.wav", L"x.wav"},
      {L"\\\\server", L""},
      {L"//server/", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orq::fileName(c.path), c.name) << "path: " << orq::nativePath(c.path);
  }
}

TEST(FilePath, EveryByteSequenceSurvivesTheRoundTrip) {
  struct Case {
    std::string native;
    std::wstring wide;
  };
  const Case cases[] = {
      {"/ir/caf\xc3\xa9.wav", L"/ir/caf\u00e9.wav"},
      {"/ir/\xe4\xb8\x80 cab", L"/ir/\u4e00 cab"},
      {"/ir/\xf0\x9f\x8e\xb8.wav", L"/ir/\U0001F3B8.wav"},
      // Not UTF-8: each stray byte b is carried as U+DC00 + b and written back unchanged.
      {"/ir/\xff.wav", L"/ir/\xdcff.wav"},
      {"/ir/caf\xe9", L"/ir/caf\xdce9"},                  // Latin-1 name
      {"x\xc3", L"x\xdcc3"},                              // cut off at the end
      {"\xc0\xaf", L"\xdcc0\xdcaf"},                      // overlong '/'
      {"\xed\xa0\x80", L"\xdced\xdca0\xdc80"},            // an encoded surrogate
      {"\xed\xb2\x80", L"\xdced\xdcb2\xdc80"},            // ... even an escape's own
      {"\xf4\x90\x80\x80", L"\xdcf4\xdc90\xdc80\xdc80"},  // above U+10FFFF
      {"\xe4\xb8", L"\xdce4\xdcb8"},                      // truncated 3-byte sequence
      {"\x80\xc3\xa9\x80", L"\xdc80\u00e9\xdc80"},        // strays around a good one
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orq::widePath(c.native), c.wide) << c.native;
    EXPECT_EQ(orq::nativePath(c.wide), c.native) << c.native;
    EXPECT_EQ(orq::nativePath(orq::widePath(c.native)), c.native) << c.native;
  }
}

TEST(FilePath, WideTextWithNoByteFormBecomesTheReplacementCharacter) {
  // Lone surrogates outside the escape range and values beyond Unicode cannot name a file;
  // they must not turn into bytes that decode as something else.
  EXPECT_EQ(orq::nativePath(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
  EXPECT_EQ(orq::nativePath(std::wstring(1, static_cast<wchar_t>(0xDC7F))), "\xef\xbf\xbd");
  EXPECT_EQ(orq::nativePath(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xef\xbf\xbd");
}

}  // namespace
