// The Win32 window host in process: the program's resources, the window class and window, every
// message of the window procedure's table, the loop with its timer and cross-thread repaints,
// the cursor, a dpi change, a lost drawing device, device notices passed to the MIDI side, and
// the file given on the command line read wide. One Platform serves the whole program, as
// in the editor (a second one makes no window).
#include <gtest/gtest.h>
#include <windows.h>
// (after windows.h)
#include <dbt.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/platform.h"
#include "assets/assets.h"
#include "device/midi_port.h"
#include "files/file_path.h"
#include "render/image_format.h"
#include "render/render_d2d.h"

// Sizes compared and printed by the checks (found by argument lookup, so outside the namespace).
bool operator==(SIZE a, SIZE b) {
  return a.cx == b.cx && a.cy == b.cy;
}
std::ostream& operator<<(std::ostream& out, SIZE s) {
  return out << s.cx << "x" << s.cy;
}

namespace {

using orq::PlatformEvent;
using namespace std::chrono_literals;

orq::Platform* gPlatform = nullptr;
HWND gWindow = nullptr;

class WindowEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    gPlatform = new orq::Platform("Tarvik Editor", "com.tarvik.editor");
    gWindow = FindWindowW(L"Tarvik Editor", L"Tarvik Editor");
    gPlatform->show();
  }
  void TearDown() override { delete gPlatform; }
};
[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

// Events seen by the callback, in order.
struct Recorder {
  std::vector<PlatformEvent> events;
  Recorder() {
    gPlatform->callback = [this](PlatformEvent e) { events.push_back(e); };
  }
  ~Recorder() { gPlatform->callback = nullptr; }
  int count(PlatformEvent e) const {
    int n = 0;
    for (PlatformEvent seen : events) n += seen == e;
    return n;
  }
};

// Paints now, through the window procedure, as the system does after a repaint request.
void paintNow() {
  RedrawWindow(gWindow, nullptr, nullptr, RDW_INTERNALPAINT | RDW_UPDATENOW);
}

SIZE clientSize() {
  RECT client{};
  GetClientRect(gWindow, &client);
  return {client.right - client.left, client.bottom - client.top};
}

// The outer size of an overlapped window with this client size.
SIZE outerFor(SIZE client) {
  RECT r{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  return {r.right - r.left, r.bottom - r.top};
}

std::wstring editorPath() {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"orq-editor.exe";
}

TEST(Resources, IconAndManifestOfTheProgram) {
  HMODULE editor = LoadLibraryExW(editorPath().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(editor, nullptr) << "orq-editor.exe beside the test";
  // Icon 101 at both sizes the icon file carries, with the pixels of the program's picture.
  for (int size : {48, 256}) {
    SCOPED_TRACE(size);
    HICON icon = static_cast<HICON>(
        LoadImageW(editor, MAKEINTRESOURCEW(101), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = size;
    bi.bmiHeader.biHeight = -size;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<uint8_t> bgra(static_cast<size_t>(size) * size * 4);
    HDC dc = GetDC(nullptr);
    ASSERT_EQ(GetDIBits(dc, info.hbmColor, 0, size, bgra.data(), &bi, DIB_RGB_COLORS), size);
    ReleaseDC(nullptr, dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    const orq::render::ImageData ri = orq::assets::appIcon(size);
    ASSERT_EQ(ri.size, 6 + bgra.size());
    int off = 0;
    for (size_t i = 0; i < bgra.size(); i += 4) {
      const uint8_t* p = ri.bytes + 6 + i;  // R, G, B, A premultiplied
      const unsigned a = p[3];
      if (a != bgra[i + 3]) ++off;
      if (a < 16) continue;  // colour of nearly clear pixels is not worth comparing
      for (int c = 0; c < 3; ++c) {
        const int straight = orq::render::unpremultiply(p[c], a);
        if (std::abs(straight - bgra[i + 2 - c]) > 1) ++off;
      }
    }
    EXPECT_EQ(off, 0);
  }
  HRSRC manifest = FindResourceW(editor, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const auto* text = static_cast<const char*>(LockResource(LoadResource(editor, manifest)));
  const std::string xml(text, SizeofResource(editor, manifest));
  EXPECT_NE(xml.find(">True/PM</dpiAware>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos) << xml;
  FreeLibrary(editor);
}

TEST(Window, ClassStyleAndSizeAtTheDesktopDpi) {
  ASSERT_TRUE(gPlatform->hasWindow());
  ASSERT_NE(gWindow, nullptr) << "class and title are both \"Tarvik Editor\"";
  EXPECT_EQ(GetClassLongPtrW(gWindow, GCL_STYLE), static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(GetClassLongPtrW(gWindow, GCL_CBWNDEXTRA), 8u);
  EXPECT_EQ(GetClassLongPtrW(gWindow, GCLP_HBRBACKGROUND), 0u);
  EXPECT_EQ(GetWindowLongW(gWindow, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  HDC screen = GetDC(nullptr);
  const float dpi = static_cast<float>(GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(clientSize(), (SIZE{orq::scaledWindowSize(dpi, orq::kWindowWidth),
                                orq::scaledWindowSize(dpi, orq::kWindowHeight)}))
      << "the client area is the panel's, the frame around it";
  // One window per process: a second Platform makes none and the first stays current.
  orq::Platform second("Tarvik Editor", "com.tarvik.editor");
  EXPECT_FALSE(second.hasWindow());
  EXPECT_EQ(orq::Platform::current(), gPlatform);
}

TEST(Window, MessagesBecomeEventsWithPositionsAndNotches) {
  Recorder r;
  SendMessageW(gWindow, WM_MOUSEMOVE, 0, MAKELPARAM(300, 200));
  EXPECT_EQ(gPlatform->pointerX, 300);
  EXPECT_EQ(gPlatform->pointerY, 200);
  SendMessageW(gWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0xFFF0, 7));  // left of the window
  EXPECT_EQ(gPlatform->pointerX, 0xFFF0) << "positions are unsigned 16-bit";
  SendMessageW(gWindow, WM_LBUTTONUP, 0, MAKELPARAM(1, 2));
  SendMessageW(gWindow, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(3, 4));
  SendMessageW(gWindow, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
  EXPECT_EQ(gPlatform->pointerX, 5);
  EXPECT_EQ(gPlatform->pointerY, 6);
  SendMessageW(gWindow, WM_ACTIVATEAPP, FALSE, 0);
  SendMessageW(gWindow, WM_TIMER, 0, 0);
  gPlatform->wheelTotal = 0;
  const struct {
    short delta;
    int32_t total;
  } wheel[] = {{60, 0}, {240, 2}, {-120, 1}, {-250, -1}};
  for (const auto& w : wheel) {
    SendMessageW(gWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(w.delta)), 0);
    EXPECT_EQ(gPlatform->wheelTotal, w.total) << w.delta;
  }
  const std::vector<PlatformEvent> want = {
      PlatformEvent::MouseMove, PlatformEvent::LeftDown, PlatformEvent::LeftUp,
      PlatformEvent::RightDown, PlatformEvent::RightUp,  PlatformEvent::Activate,
      PlatformEvent::Timer,     PlatformEvent::Wheel,    PlatformEvent::Wheel,
      PlatformEvent::Wheel,     PlatformEvent::Wheel};
  EXPECT_EQ(r.events, want);
}

TEST(Window, CloseEndsTheLoopAndKeepsTheWindow) {
  gPlatform->running = true;
  SendMessageW(gWindow, WM_CLOSE, 0, 0);
  EXPECT_FALSE(gPlatform->running);
  EXPECT_TRUE(IsWindow(gWindow));
}

TEST(Window, CannotBeMadeSmallerThanItsStartSize) {
  MINMAXINFO info{};
  SendMessageW(gWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  const float dpi = gPlatform->dpi();
  const SIZE panel{orq::scaledWindowSize(dpi, orq::kWindowWidth),
                   orq::scaledWindowSize(dpi, orq::kWindowHeight)};
  EXPECT_EQ(info.ptMinTrackSize.x, outerFor(panel).cx);
  EXPECT_EQ(info.ptMinTrackSize.y, outerFor(panel).cy);
  SetWindowPos(gWindow, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(clientSize(), panel);
  RECT outer{};
  SetWindowPos(gWindow, nullptr, 0, 0, 1300, 900, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(gWindow, &outer);
  EXPECT_EQ(outer.right - outer.left, 1300) << "larger is allowed";
}

// The loop wakes for the 500 ms timer, and repaint requests from another thread, however many,
// arrive as paints on this one.
TEST(Loop, TimerAndRepaintRequestsFromAnotherThread) {
  Recorder r;
  paintNow();  // the surface exists from here on
  const int paintsBefore = r.count(PlatformEvent::Paint);
  ASSERT_GE(paintsBefore, 1);
  std::atomic<int> requests{0};
  std::thread worker([&] {
    for (int burst = 0; burst < 4; ++burst) {
      for (int i = 0; i < 50; ++i, ++requests) gPlatform->requestRepaint();
      std::this_thread::sleep_for(300ms);
    }
    PostMessageW(gWindow, WM_CLOSE, 0, 0);
  });
  const auto start = std::chrono::steady_clock::now();
  gPlatform->runLoop();
  const auto ran = std::chrono::steady_clock::now() - start;
  worker.join();
  EXPECT_FALSE(gPlatform->running);
  const int paints = r.count(PlatformEvent::Paint) - paintsBefore;
  EXPECT_GE(paints, 1);
  EXPECT_LT(paints, requests.load()) << "requests made before a paint coalesce";
  EXPECT_GE(r.count(PlatformEvent::Timer), static_cast<int>(ran / 500ms) - 1);
  EXPECT_GE(r.count(PlatformEvent::Timer), 1);
}

TEST(Window, CursorIsTheClassCursor) {
  const auto classCursor = [] {
    return reinterpret_cast<HCURSOR>(GetClassLongPtrW(gWindow, GCLP_HCURSOR));
  };
  gPlatform->setHandCursor(true);
  EXPECT_EQ(classCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
  gPlatform->setHandCursor(false);
  EXPECT_EQ(classCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

TEST(Window, DpiChangeScalesTheSurfaceAndTheMinimumAndTakesTheSuggestedRectangle) {
  paintNow();
  ASSERT_GT(orq::render::windowSurfaceDpi(), 0.0f);
  const SIZE big = outerFor({1536, 1110});  // the panel at 144 dpi, in its frame
  RECT suggested{40, 30, 40 + big.cx, 30 + big.cy};
  SendMessageW(gWindow, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(gPlatform->dpi(), 144.0f);
  RECT outer{};
  GetWindowRect(gWindow, &outer);
  EXPECT_EQ(outer.left, 40);
  EXPECT_EQ(outer.top, 30);
  EXPECT_EQ(outer.right - outer.left, big.cx);
  EXPECT_EQ(outer.bottom - outer.top, big.cy);
  MINMAXINFO info{};
  SendMessageW(gWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, big.cx);
  EXPECT_EQ(info.ptMinTrackSize.y, big.cy);
  // And back, so that the tests after this one see the desktop's dpi again.
  HDC screen = GetDC(nullptr);
  const int desktop = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const SIZE start =
      outerFor({orq::scaledWindowSize(desktop, 1024), orq::scaledWindowSize(desktop, 740)});
  RECT back{40, 30, 40 + start.cx, 30 + start.cy};
  SendMessageW(gWindow, WM_DPICHANGED, MAKEWPARAM(desktop, desktop),
               reinterpret_cast<LPARAM>(&back));
  EXPECT_EQ(gPlatform->dpi(), static_cast<float>(desktop));
}

// Windows' notices of devices that came or went reach every MIDI watch as a change of the port
// list, and ring its bell (the worker then reads the ports again); other notices are none.
TEST(Window, DeviceNoticesAreToldToTheMidiWatches) {
  orq::ServiceWatch watch(RtMidi::WINDOWS_MM, "watch", nullptr, nullptr);
  EXPECT_TRUE(watch.hearsPortChanges()) << "made after the window";
  orq::Doorbell bell;
  watch.setBell(&bell);
  const struct {
    WPARAM code;
    uint32_t counted;
  } notices[] = {{DBT_DEVNODES_CHANGED, 1},
                 {DBT_DEVICEARRIVAL, 1},
                 {DBT_DEVICEREMOVECOMPLETE, 1},
                 {DBT_QUERYCHANGECONFIG, 0},
                 {DBT_DEVICEQUERYREMOVE, 0}};
  for (const auto& n : notices) {
    const uint32_t before = watch.portChanges();
    SendMessageW(gWindow, WM_DEVICECHANGE, n.code, 0);
    EXPECT_EQ(watch.portChanges() - before, n.counted) << n.code;
    EXPECT_EQ(bell.waitUntil(std::chrono::steady_clock::now()), n.counted == 1) << n.code;
  }
}

// The file given on the command line arrives whole whatever it is named, as an absolute path:
// this program run again with a file name outside the ANSI code page writes what it was given
// (as UTF-8) into a file.
TEST(Arguments, GivenFileArrivesWideWhateverItsName) {
  wchar_t out[MAX_PATH];
  if (GetEnvironmentVariableW(L"ORQ_ARGUMENTS_TO", out, MAX_PATH) > 0) {
    const std::string text = orq::nativePath(orq::commandLineFile(__argc, __argv));
    HANDLE f = CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return;
  }
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring file = std::wstring(folder) + L"orq-arguments.txt";
  SetEnvironmentVariableW(L"ORQ_ARGUMENTS_TO", file.c_str());
  std::wstring command = std::wstring(L"\"") + self +
                         L"\" \"Programm \u00e4\u03a9\u4e00.syx\" --gtest_filter=Arguments.*";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &child));
  SetEnvironmentVariableW(L"ORQ_ARGUMENTS_TO", nullptr);
  ASSERT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  std::string got(1024, '\0');
  HANDLE f = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ReadFile(f, got.data(), static_cast<DWORD>(got.size()), &n, nullptr);
  CloseHandle(f);
  DeleteFileW(file.c_str());
  got.resize(n);
  wchar_t here[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, here);
  EXPECT_EQ(got, orq::nativePath(here) + "\\Programm \u00e4\u03a9\u4e00.syx");
}

// A lost device costs the frame it happened in: everything is released, and the next paint
// makes a new surface and draws again.
TEST(Surface, LostDeviceIsMadeAgainAtTheNextPaint) {
  Recorder r;
  paintNow();
  const int made = orq::render::windowSurfacesMade();
  ASSERT_GE(made, 1);
  orq::render::loseDeviceAtNextFrame();
  paintNow();
  EXPECT_EQ(orq::render::windowSurfaceDpi(), 0.0f) << "no surface after the loss";
  EXPECT_EQ(gPlatform->dpi(), 96.0f);
  paintNow();
  EXPECT_EQ(orq::render::windowSurfacesMade(), made + 1);
  EXPECT_GT(orq::render::windowSurfaceDpi(), 0.0f);
  EXPECT_EQ(r.count(PlatformEvent::Paint), 3);
}

}  // namespace
