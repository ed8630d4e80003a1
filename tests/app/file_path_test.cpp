// File names as the panel shows them, and paths surviving the trip between the program's wide
// strings and the file system's bytes, whatever bytes a name holds.
#include "files/file_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

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

// A dragged file's URI as file managers write it: the first entry, decoded to the bytes of
// its name; anything that is not a local file is no path.
TEST(FilePath, FileUriListGivesTheFirstEntrysLocalPath) {
  const bool drives = sizeof(wchar_t) == 2;
  struct Case {
    const char* list;
    std::wstring path;
  };
  const Case cases[] = {
      {"file:///home/u/cab.wav\r\n", L"/home/u/cab.wav"},
      {"file:///home/u/My%20Cab%20%C3%A9%20%E4%B8%80.wav", L"/home/u/My Cab \u00e9 \u4e00.wav"},
      {"# from a file manager\r\nfile:///a.wav\r\nfile:///b.wav\r\n", L"/a.wav"},
      {"file://localhost/a%2fb%25.wav", L"/a/b%.wav"},
      {"file://LocalHost/srv/ir.wav\n", L"/srv/ir.wav"},
      {"file://host.lan/srv/ir.wav\n", L""},  // another machine's file, not /srv/ir.wav here
      {"FILE:/x/y.wav", L"/x/y.wav"},
      {"file:///C:/IRs/x.wav", drives ? L"C:/IRs/x.wav" : L"/C:/IRs/x.wav"},
      {"file:///a/b\u00e9.wav", L"/a/b\u00e9.wav"},  // unescaped UTF-8 as some sources send it
      {"file:///a/%FF.wav", L"/a/\xdcff.wav"},       // not UTF-8: carried as widePath carries it
      {"http://host/a.wav", L""},
      {"/home/u/cab.wav", L""},
      {"file:relative.wav", L""},
      {"file://host", L""},
      {"file:///a%2.wav", L""},
      {"file:///a%00.wav", L""},
      {"http://x/a.wav\r\nfile:///b.wav", L""},  // the first entry decides
      {"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(orq::fileUriPath(c.list), c.path) << c.list;
  // A raw NUL would cut the path where the system reads it; one that ends the list does not.
  using namespace std::string_literals;
  EXPECT_EQ(orq::fileUriPath("file:///a.wav\0.txt\r\n"s), L"");
  EXPECT_EQ(orq::fileUriPath("file:///a.wav\r\n\0"s), L"/a.wav");
  EXPECT_EQ(orq::fileUriPath("file:///a.wav\0"s), L"/a.wav");
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
  const std::string bad = "\xef\xbf\xbd";
  std::vector<std::pair<std::wstring, std::string>> cases = {
      {std::wstring(1, static_cast<wchar_t>(0xD800)), bad},
      {std::wstring(1, static_cast<wchar_t>(0xDC7F)), bad},
  };
  if constexpr (sizeof(wchar_t) == 4) {
    const long beyondUnicode = 0x110000;  // converted at run time: only here does it fit
    cases.push_back({std::wstring(1, static_cast<wchar_t>(beyondUnicode)), bad});
  } else {
    // UTF-16: a pair the wrong way round is two lone surrogates.
    cases.push_back(
        {std::wstring{static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(0xD800)}, bad + bad});
  }
  for (const auto& [wide, native] : cases) EXPECT_EQ(orq::nativePath(wide), native);
}

// Where wide strings are UTF-16, a path can only reach the file system as itself: the name
// that comes back from it is the one that went in, whatever it holds.
TEST(FilePath, FilesOpenUnderTheirWideNames) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / orq::filePath(L"orq-\u00e9\u4e00-\U0001F3B8");
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  const std::wstring name = L"caf\u00e9 \u4e00 \U0001F3B8.wav";
  const std::wstring path = orq::pathText(dir) + L"/" + name;
  { std::ofstream(orq::filePath(path)) << "x"; }
  std::vector<std::wstring> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    found.push_back(orq::pathText(entry.path().filename()));
  }
  std::filesystem::remove_all(dir);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], name);
  EXPECT_EQ(orq::fileName(path), name);
}

}  // namespace
