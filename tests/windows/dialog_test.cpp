// The shell's file dialogs as the worker shows them: on its thread, owned by the editor's window
// (disabled meanwhile, still painting), answered as a person would: a name typed into the
// dialog and OK, or Cancel. The close request of the editor cancels an open dialog, and later
// requests are answered empty at once.
#include <windows.h>
// (dlgs.h after windows.h)
#include <dlgs.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "app/platform.h"
#include "files/file_path.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

HWND gWindow = nullptr;

// The dialog owned by the editor's window, once it is on screen.
HWND findDialog() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND w, LPARAM arg) -> BOOL {
        if (GetWindow(w, GW_OWNER) != gWindow || !IsWindowVisible(w)) return TRUE;
        reinterpret_cast<Search*>(arg)->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The box the file name is typed into: Wine's dialog has it as edt1, Windows' inside cmb13.
HWND nameBox(HWND dialog) {
  if (HWND edit = GetDlgItem(dialog, edt1)) return edit;
  HWND combo = GetDlgItem(dialog, cmb13);
  return combo ? FindWindowExW(combo, nullptr, L"Edit", nullptr) : nullptr;
}

// What the person does once the dialog is up; runs on a thread of its own.
struct Answer {
  std::wstring typed;  // typed into the name box before OK; empty: Cancel
  bool ownerWasDisabled = false;
  bool sawDialog = false;
};

void answer(Answer& a) {
  HWND dialog = nullptr;
  for (int i = 0; i < 500 && !(dialog = findDialog()); ++i) std::this_thread::sleep_for(20ms);
  if (!dialog) return;
  a.sawDialog = true;
  a.ownerWasDisabled = !IsWindowEnabled(gWindow);
  std::this_thread::sleep_for(200ms);  // let it settle into its first folder
  if (a.typed.empty()) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  SendMessageW(nameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a.typed.c_str()));
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

// Runs the editor's loop while a worker asks for a dialog of `mode` and a person answers it;
// the loop ends when the worker has its path.
std::wstring ask(orq::Platform& platform, int32_t mode, Answer& a) {
  std::promise<std::wstring> path;
  std::thread worker([&] {
    path.set_value(platform.openFileDialog(mode));
    PostMessageW(gWindow, WM_CLOSE, 0, 0);
  });
  std::thread person([&] { answer(a); });
  platform.runLoop();
  worker.join();
  person.join();
  return path.get_future().get();
}

class Dialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    platform = new orq::Platform("Tarvik Editor", "com.tarvik.editor");
    gWindow = FindWindowW(L"Tarvik Editor", L"Tarvik Editor");
    platform->show();
    dir = fs::temp_directory_path() / orq::filePath(L"orq dialog \u00e9");
    fs::remove_all(dir);
    fs::create_directories(dir / "cabs");
    std::ofstream(dir / "cab.wav") << "RIFF";
  }
  static void TearDownTestSuite() {
    delete platform;
    fs::remove_all(dir);
  }
  static inline orq::Platform* platform = nullptr;
  static inline fs::path dir;
};

TEST_F(Dialogs, WaveFileChosenByNameIsItsFullPath) {
  ASSERT_NE(gWindow, nullptr);
  const std::wstring file = orq::pathText(dir / "cab.wav");
  Answer a{file};
  const std::wstring path = ask(*platform, orq::kDialogWav, a);
  ASSERT_TRUE(a.sawDialog) << "no dialog owned by the editor's window";
  EXPECT_TRUE(a.ownerWasDisabled) << "the dialog is modal to the editor's window";
  EXPECT_TRUE(fs::equivalent(orq::filePath(path), dir / "cab.wav")) << orq::nativePath(path);
  EXPECT_EQ(orq::fileName(path), L"cab.wav");
  EXPECT_TRUE(IsWindowEnabled(gWindow)) << "enabled again afterwards";
}

TEST_F(Dialogs, FolderModeGivesTheFolder) {
  Answer a{orq::pathText(dir / "cabs")};
  const std::wstring path = ask(*platform, orq::kDialogFolder, a);
  ASSERT_TRUE(a.sawDialog);
  EXPECT_TRUE(fs::is_directory(orq::filePath(path))) << orq::nativePath(path);
  EXPECT_TRUE(fs::equivalent(orq::filePath(path), dir / "cabs")) << orq::nativePath(path);
}

TEST_F(Dialogs, CancelGivesNothing) {
  for (int32_t mode : {orq::kDialogWav, orq::kDialogFolder}) {
    Answer a;
    EXPECT_EQ(ask(*platform, mode, a), L"") << mode;
    EXPECT_TRUE(a.sawDialog) << mode;
  }
}

TEST_F(Dialogs, NeverOnTheWindowsOwnThreadNorForAnUnknownMode) {
  EXPECT_EQ(platform->openFileDialog(orq::kDialogWav), L"");  // would stop the loop it needs
  std::wstring unknown = L"x";
  std::thread([&] { unknown = platform->openFileDialog(1); }).join();
  EXPECT_EQ(unknown, L"");
  EXPECT_EQ(findDialog(), nullptr);
}

// Answers the window's messages (the dialog's owner must) until `ready` or `limit` passes.
template <typename Ready>
bool pumpUntil(Ready ready, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Last: after the close request every dialog is answered empty. The close itself never waits
// long for the dialog (the editor must end within a second); Wine takes about two seconds to
// take a dialog down, Windows a fraction of that.
TEST_F(Dialogs, CloseCancelsTheOpenDialogAndAnswersLaterOnesEmpty) {
  std::promise<std::wstring> path;
  std::future<std::wstring> answer = path.get_future();
  std::thread worker([&] { path.set_value(platform->openFileDialog(orq::kDialogWav)); });
  ASSERT_TRUE(pumpUntil([] { return findDialog() != nullptr; }, 10s));
  const auto start = std::chrono::steady_clock::now();
  platform->closeDialogs();  // as the editor does when its window is closed
  EXPECT_LT(std::chrono::steady_clock::now() - start, 700ms);
  EXPECT_TRUE(pumpUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }, 10s));
  worker.join();
  EXPECT_EQ(answer.get(), L"");
  EXPECT_EQ(findDialog(), nullptr);
  std::wstring later = L"x";
  std::thread([&] { later = platform->openFileDialog(orq::kDialogFolder); }).join();
  EXPECT_EQ(later, L"");
}

}  // namespace
