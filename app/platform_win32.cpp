// The Windows window host over Win32: the window class and window, the window procedure that
// turns messages into PlatformEvents (and passes device notices on to the MIDI side), the drop
// target, the 500 ms timer, the repaint request, the class cursor, and the shell's file dialogs,
// which the worker shows on its own thread. Painting goes through render/render_d2d.cpp.
//
// Sections: process-wide state; window procedure; Platform (construction, loop, repaint,
// cursor, dpi); file dialogs.
#include <windows.h>
// (the shell's headers after windows.h)
#include <dbt.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "app/platform.h"
#include "device/midi_port.h"
#include "files/user_folders.h"
#include "render/render_d2d.h"

namespace orq {

namespace {
constexpr int kIconResource = 101;
constexpr UINT_PTR kTimerId = 0;
// How long the close waits for a file dialog of the worker to go: closing it sends messages to
// this thread (the dialog is owned by our window), so they are answered meanwhile.
constexpr std::chrono::milliseconds kDialogCloseBudget{500};
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;

// The window's outer size whose client area is the panel's at `dpi` (its frame and title bar
// around it).
SIZE outerWindowSize(float dpi) {
  RECT r{0, 0, scaledWindowSize(dpi, kWindowWidth), scaledWindowSize(dpi, kWindowHeight)};
  AdjustWindowRectEx(&r, kWindowStyle, FALSE, 0);
  return {r.right - r.left, r.bottom - r.top};
}
}  // namespace

namespace {
class DropTarget;
}

// User-interface thread only, except where noted.
struct Platform::Impl {
  HWND window = nullptr;
  HDEVNOTIFY deviceNotices = nullptr;
  DropTarget* dropTarget = nullptr;  // registered for the window while set
  bool comInitialised = false;
  DWORD uiThread = 0;

  // File dialogs: the worker shows them on its thread; the close request comes from this one.
  std::mutex dialogMutex;
  bool dialogOpen = false;      // guarded by dialogMutex
  bool dialogsClosed = false;   // guarded by dialogMutex: shutdown, answer everything empty
  HWND dialogWindow = nullptr;  // guarded by dialogMutex: the open dialog, once it has one
};

namespace {

// ---- Process-wide state: one window per process.
Platform* gPlatform = nullptr;

Platform* platformOf(HWND window) {
  return reinterpret_cast<Platform*>(GetWindowLongPtrW(window, 0));
}

void storePointer(Platform* p, LPARAM position) {
  p->pointerX = static_cast<uint16_t>(position & 0xFFFF);
  p->pointerY = static_cast<uint16_t>((position >> 16) & 0xFFFF);
}

// A file dragged from Explorer and dropped (DragAcceptFiles): the first one, at the drop point
// in client pixels. Any program can post this message, with a handle that means nothing here;
// the shell's functions read through it unchecked (Wine's fault on a null), so it is tried
// first.
void takeDroppedFile(Platform* p, HDROP drop) {
  if (!GlobalLock(drop)) return;
  GlobalUnlock(drop);
  POINT at{};
  DragQueryPoint(drop, &at);
  std::wstring path(DragQueryFileW(drop, 0, nullptr, 0), L'\0');
  if (!path.empty() && DragQueryFileW(drop, 0, path.data(), UINT(path.size() + 1)) == 0) {
    path.clear();
  }
  DragFinish(drop);
  if (!path.empty()) p->dropFile(at.x, at.y, std::move(path));
}

// The first file a drag carries (CF_HDROP, as Explorer gives it), or an empty path.
std::wstring draggedFile(IDataObject* data) {
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (!data || FAILED(data->GetData(&format, &medium))) return {};
  std::wstring path;
  if (auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
    path.resize(DragQueryFileW(drop, 0, nullptr, 0));
    if (!path.empty() && DragQueryFileW(drop, 0, path.data(), UINT(path.size() + 1)) == 0)
      path.clear();
    GlobalUnlock(medium.hGlobal);
  }
  ReleaseStgMedium(&medium);
  return path;
}

// A file dragged over the window (RegisterDragDrop): the panel's hover look follows the
// pointer, the answer (copy, or nothing) tells the source whether a drop would be taken, and a
// drop hands the file over. Positions come in screen pixels. Lives in the Impl, which outlives
// the registration.
class DropTarget final : public IDropTarget {
 public:
  explicit DropTarget(Platform* platform) : platform_(platform) {}
  HWND window = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
      *out = static_cast<IDropTarget*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // While a drag is over the window the pointer is the drag's: pointer moves (which Windows
  // does not send meanwhile, and Wine may) do not take the hover look away.
  bool dragging = false;

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at,
                                      DWORD* effect) override {
    carriesFile_ = !draggedFile(data).empty();
    dragging = true;
    return DragOver(keys, at, effect);
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL at, DWORD* effect) override {
    if (!effect) return E_INVALIDARG;
    const POINT p = client(at);
    *effect = carriesFile_ && platform_->dragOver(p.x, p.y) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override {
    dragging = false;
    platform_->dragLeave();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL at, DWORD* effect) override {
    dragging = false;
    if (!effect) return E_INVALIDARG;
    std::wstring path = draggedFile(data);
    const POINT p = client(at);
    if (path.empty()) {
      platform_->dragLeave();
      *effect = DROPEFFECT_NONE;
    } else {
      *effect = platform_->dropFile(p.x, p.y, std::move(path)) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    }
    return S_OK;
  }

 private:
  POINT client(POINTL at) const {
    POINT p{at.x, at.y};
    ScreenToClient(window, &p);
    return p;
  }
  Platform* platform_;
  bool carriesFile_ = false;
};

// ---- Shortcut keys, the panel's menu and the confirmation box

// Ctrl+letter: true when it was one of the editor's shortcuts (delivered as its action).
bool onShortcutKey(Platform* p, WPARAM key) {
  if (key < 'A' || key > 'Z') return false;  // letters' virtual-key codes are their capitals
  const Action action = shortcutAction(static_cast<uint32_t>(key), GetKeyState(VK_CONTROL) < 0,
                                       GetKeyState(VK_SHIFT) < 0);
  if (action == Action::None) return false;
  p->action = action;
  p->deliver(PlatformEvent::Action);
  return true;
}

std::wstring wideText(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  }
  return out;
}

// The box of confirm(): a message box whose OK button is renamed to the confirming word. The
// CBT hook sees the box's window before it shows, on the asking thread.
std::mutex gBoxMutex;
HWND gBox = nullptr;        // guarded by gBoxMutex: the box on screen
bool gBoxesClosed = false;  // guarded by gBoxMutex
thread_local const std::wstring* tConfirmButton = nullptr;
thread_local HHOOK tBoxHook = nullptr;

LRESULT CALLBACK boxHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const auto box = reinterpret_cast<HWND>(wParam);
    if (tConfirmButton && !tConfirmButton->empty())
      SetDlgItemTextW(box, IDOK, tConfirmButton->c_str());
    bool closed = false;
    {
      std::lock_guard<std::mutex> lock(gBoxMutex);
      gBox = box;
      closed = gBoxesClosed;
    }
    if (closed) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    UnhookWindowsHookEx(tBoxHook);
    tBoxHook = nullptr;
    return 0;
  }
  return CallNextHookEx(tBoxHook, code, wParam, lParam);
}

void closeBoxes() {
  std::lock_guard<std::mutex> lock(gBoxMutex);
  gBoxesClosed = true;
  if (gBox) PostMessageW(gBox, WM_COMMAND, IDCANCEL, 0);
}

// ---- Window procedure. Every handled message returns 0.
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  Platform* p = platformOf(window);
  if (!p) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      render::resizeWindowSurface(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SIZING:
      return 0;
    case WM_PAINT:
      render::paintWindow(window, [p](render::Canvas& canvas) { p->paint(canvas); });
      ValidateRect(window, nullptr);
      return 0;
    case WM_CLOSE:
      p->running = false;  // the window stays; it goes with the process
      return 0;
    case WM_ACTIVATEAPP:
      p->deliver(PlatformEvent::Activate);
      return 0;
    case WM_GETMINMAXINFO: {
      const float surfaceDpi = render::windowSurfaceDpi();
      const float dpi = surfaceDpi > 0 ? surfaceDpi : 96.0f;
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      const SIZE outer = outerWindowSize(dpi);
      info->ptMinTrackSize.x = outer.cx;
      info->ptMinTrackSize.y = outer.cy;
      return 0;
    }
    case WM_DEVICECHANGE:
      // A device came or went: the MIDI ports may have changed, and the worker reads them again.
      if (wParam == DBT_DEVNODES_CHANGED || wParam == DBT_DEVICEARRIVAL ||
          wParam == DBT_DEVICEREMOVECOMPLETE)
        ServiceWatch::portsChangedOnHost();
      return TRUE;
    case WM_DISPLAYCHANGE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_TIMER:
      p->deliver(PlatformEvent::Timer);
      return 0;
    case WM_MOUSEMOVE:
      if (p->impl->dropTarget && p->impl->dropTarget->dragging) return 0;
      storePointer(p, lParam);
      p->deliver(PlatformEvent::MouseMove);
      return 0;
    case WM_LBUTTONDOWN:
      storePointer(p, lParam);
      p->deliver(PlatformEvent::LeftDown);
      return 0;
    case WM_LBUTTONUP:
      storePointer(p, lParam);
      p->deliver(PlatformEvent::LeftUp);
      return 0;
    case WM_RBUTTONDOWN:
      storePointer(p, lParam);
      p->deliver(PlatformEvent::RightDown);
      return 0;
    case WM_RBUTTONUP:
      storePointer(p, lParam);
      p->deliver(PlatformEvent::RightUp);
      return 0;
    case WM_KEYDOWN:
      if (onShortcutKey(p, wParam)) return 0;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_MOUSEWHEEL:
      p->wheelTotal += wheelNotches(GET_WHEEL_DELTA_WPARAM(wParam));
      p->deliver(PlatformEvent::Wheel);
      return 0;
    case WM_DROPFILES:
      takeDroppedFile(p, reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_DPICHANGED: {
      render::setWindowSurfaceDpi(static_cast<float>(HIWORD(wParam)));
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

// ---- Platform
std::wstring commandLineFile(int, char**) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return {};
  std::wstring given = count >= 2 ? args[1] : L"";
  LocalFree(args);
  if (given.empty()) return {};
  // Names of any Unicode: std::filesystem takes the wide path as it is.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(given), ec);
  return ec ? given : full.wstring();
}

void Platform::openBackupsFolder() {
  if (!hasWindow()) return;
  const std::wstring folder = safetyBackupFolder();
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(std::filesystem::path(folder), ec);
  // ShellExecute's result above 32 is success; Explorer shows the folder.
  if (!folder.empty() &&
      reinterpret_cast<INT_PTR>(ShellExecuteW(impl->window, L"open", folder.c_str(), nullptr,
                                              nullptr, SW_SHOWNORMAL)) > 32) {
    return;
  }
  const std::wstring message = L"The backups folder " + folder + L" cannot be shown.";
  MessageBoxW(impl->window, message.c_str(), wideText(title).c_str(), MB_OK | MB_ICONWARNING);
}

Platform* Platform::current() {
  return gPlatform;
}

Platform::Platform(std::string t, std::string id) : title(std::move(t)), identifier(std::move(id)) {
  if (gPlatform) return;  // one window per process
  gPlatform = this;
  impl = new Impl;
  impl->uiThread = GetCurrentThreadId();
  // OLE (a single-threaded COM apartment with drag and drop) for the drop target.
  if (OleInitialize(nullptr) != S_OK) return;
  impl->comInitialised = true;
  const std::wstring wideTitle(title.begin(), title.end());  // the title is plain ASCII
  HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
  if (!render::createD2dFactory()) return;

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.cbWndExtra = sizeof(LONG_PTR);  // the Platform
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = wideTitle.c_str();
  RegisterClassW(&windowClass);

  HWND desktop = GetDesktopWindow();
  HDC screen = GetDC(desktop);
  const int desktopDpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(desktop, screen);
  const SIZE outer = outerWindowSize(static_cast<float>(desktopDpi));
  impl->window =
      CreateWindowExW(0, wideTitle.c_str(), wideTitle.c_str(), kWindowStyle, CW_USEDEFAULT,
                      CW_USEDEFAULT, outer.cx, outer.cy, nullptr, nullptr, instance, this);
  if (impl->window) {
    SetTimer(impl->window, kTimerId, kTimerMs, nullptr);
    // Explorer's drags reach the drop target; WM_DROPFILES stays for those that send it.
    DragAcceptFiles(impl->window, TRUE);
    auto* target = new DropTarget(this);
    target->window = impl->window;
    if (RegisterDragDrop(impl->window, target) == S_OK)
      impl->dropTarget = target;
    else
      delete target;
    // Every top-level window hears DBT_DEVNODES_CHANGED; registered, it hears of each device
    // interface that arrives or goes too (a USB MIDI device among them).
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    impl->deviceNotices = RegisterDeviceNotificationW(
        impl->window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    ServiceWatch::hostTellsPortChanges();
  }
}

Platform::~Platform() {
  if (!impl) return;
  closeDialogs();
  if (impl->window) {
    KillTimer(impl->window, kTimerId);
    if (impl->deviceNotices) UnregisterDeviceNotification(impl->deviceNotices);
    if (impl->dropTarget) {
      RevokeDragDrop(impl->window);
      delete impl->dropTarget;
    }
    // Messages still to come (the window goes with the process) find no Platform.
    SetWindowLongPtrW(impl->window, 0, 0);
  }
  render::releaseWindowSurface();
  if (impl->comInitialised) OleUninitialize();
  delete impl;
  impl = nullptr;
  callback = nullptr;
  if (gPlatform == this) gPlatform = nullptr;
}

bool Platform::hasWindow() const {
  return impl && impl->window;
}

void Platform::show() {
  if (!hasWindow()) return;
  ShowWindow(impl->window, SW_SHOWNORMAL);
  // Dark at once, before the first paint has made the drawing surface.
  if (HDC dc = GetDC(impl->window)) {
    RECT client{};
    GetClientRect(impl->window, &client);
    if (HBRUSH dark = CreateSolidBrush(RGB(2, 2, 2))) {
      FillRect(dc, &client, dark);
      DeleteObject(dark);
    }
    ReleaseDC(impl->window, dc);
  }
  UpdateWindow(impl->window);
}

void Platform::runLoop() {
  running = true;
  if (!hasWindow()) return;  // nothing could ever end the loop
  while (running) {
    // Wine reads the display's events (a window manager's close among them) only while the
    // thread waits for messages, or once 200 messages have come without a wait: a transfer, which
    // asks for a paint after every chunk, kept the close waiting for seconds. A wait of no time
    // lets Wine read them; on Windows it only looks at the queue.
    MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // quit, or an error
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Any thread: the system keeps one internal-paint flag per window, so requests made before the
// paint coalesce into it, and setting it sends nothing and waits for nothing.
void Platform::requestRepaint() {
  if (!hasWindow()) return;
  RedrawWindow(impl->window, nullptr, nullptr, RDW_INTERNALPAINT);
}

void Platform::setHandCursor(bool hand) {
  if (!hasWindow()) return;
  HCURSOR cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(hand ? IDC_HAND : IDC_ARROW));
  SetClassLongPtrW(impl->window, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
  // The class cursor shows from the next pointer move; the pointer is over the window now (this
  // runs on its moves), so the shape changes at once too.
  SetCursor(cursor);
}

float Platform::dpi() const {
  const float surfaceDpi = render::windowSurfaceDpi();
  return surfaceDpi > 0 ? surfaceDpi : 96.0f;
}

// ---- File dialogs: IFileDialog on the calling (worker) thread, owned by the editor's window.
namespace {

// Learns the dialog's window as soon as it has one (the first folder it shows), so that a close
// request from the user-interface thread can cancel it. Lives on the worker's stack for the
// dialog's lifetime; the dialog holds it only between Advise and Unadvise.
class DialogWatch final : public IFileDialogEvents {
 public:
  explicit DialogWatch(Platform::Impl* impl) : impl_(impl) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IFileDialogEvents) {
      *out = static_cast<IFileDialogEvents*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* dialog) override {
    IOleWindow* ole = nullptr;
    HWND window = nullptr;
    if (SUCCEEDED(dialog->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&ole)))) {
      ole->GetWindow(&window);
      ole->Release();
    }
    bool closed = false;
    {
      std::lock_guard<std::mutex> lock(impl_->dialogMutex);
      impl_->dialogWindow = window;
      closed = impl_->dialogsClosed;
    }
    // The close came before the dialog had a window to cancel.
    if (closed && window) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*,
                                             FDE_SHAREVIOLATION_RESPONSE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem*,
                                        FDE_OVERWRITE_RESPONSE*) override {
    return E_NOTIMPL;
  }

 private:
  Platform::Impl* impl_;
};

std::wstring showDialog(IFileDialog* dialog, int32_t mode, HWND owner, Platform::Impl* impl) {
  FILEOPENDIALOGOPTIONS options = 0;
  if (SUCCEEDED(dialog->GetOptions(&options))) {
    if (mode == kDialogFolder) {
      dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    } else if (mode == kDialogOpenSysex || mode == kDialogSaveSysex) {
      dialog->SetOptions(options | FOS_FORCEFILESYSTEM |
                         (mode == kDialogSaveSysex
                              ? static_cast<FILEOPENDIALOGOPTIONS>(FOS_OVERWRITEPROMPT)
                              : 0u));
      const COMDLG_FILTERSPEC sysex{L"System exclusive", L"*.syx"};
      dialog->SetFileTypes(1, &sysex);
      dialog->SetDefaultExtension(L"syx");
    } else {
      dialog->SetOptions(options | FOS_FORCEFILESYSTEM);
      const COMDLG_FILTERSPEC wave{L"Wave", L"*.wav;*.wave;"};
      dialog->SetFileTypes(1, &wave);
      dialog->SetDefaultExtension(L"wav;wave");
    }
  }
  DialogWatch watch(impl);
  DWORD cookie = 0;
  const bool watched = SUCCEEDED(dialog->Advise(&watch, &cookie));
  std::wstring path;
  if (SUCCEEDED(dialog->Show(owner))) {
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->GetResult(&item)) && item) {
      PWSTR name = nullptr;
      if (SUCCEEDED(item->GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING, &name)) && name) {
        path = name;
        CoTaskMemFree(name);
      }
      item->Release();
    }
  }
  if (watched) dialog->Unadvise(cookie);
  return path;
}

}  // namespace

std::wstring Platform::openFileDialog(int32_t mode) {
  if (mode != kDialogWav && mode != kDialogFolder && mode != kDialogOpenSysex &&
      mode != kDialogSaveSysex) {
    return {};
  }
  // Its modal loop would run inside the window procedure's thread and stop the panel.
  if (!hasWindow() || GetCurrentThreadId() == impl->uiThread) return {};
  {
    std::lock_guard<std::mutex> lock(impl->dialogMutex);
    if (impl->dialogsClosed || impl->dialogOpen) return {};  // shutting down, or one is open
    impl->dialogOpen = true;
  }
  CoInitialize(nullptr);  // the worker's apartment for the dialog; kept for the thread's life
  std::wstring path;
  IFileDialog* dialog = nullptr;
  if (SUCCEEDED(CoCreateInstance(
          mode == kDialogSaveSysex ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr,
          CLSCTX_INPROC_SERVER, IID_IFileDialog, reinterpret_cast<void**>(&dialog))) &&
      dialog) {
    path = showDialog(dialog, mode, impl->window, impl);
    dialog->Release();
  }
  std::lock_guard<std::mutex> lock(impl->dialogMutex);
  impl->dialogOpen = false;
  impl->dialogWindow = nullptr;
  if (impl->dialogsClosed) path.clear();
  return path;
}

void Platform::popupMenu(const std::vector<MenuItem>& items) {
  if (!hasWindow()) return;
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  for (size_t i = 0; i < items.size(); ++i) {
    std::wstring text = wideText(items[i].label);
    if (!items[i].shortcut.empty()) text += L"\t" + wideText(items[i].shortcut);
    AppendMenuW(menu, MF_STRING | (items[i].enabled ? 0u : static_cast<UINT>(MF_GRAYED)), i + 1,
                text.c_str());
  }
  POINT at{};
  GetCursorPos(&at);
  // The menu's own loop runs here; the choice (0: none) comes back as its command id.
  const int chosen = static_cast<int>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, impl->window, nullptr));
  DestroyMenu(menu);
  if (chosen < 1 || static_cast<size_t>(chosen) > items.size()) return;
  action = items[static_cast<size_t>(chosen) - 1].action;
  deliver(PlatformEvent::Action);
}

bool Platform::confirm(const std::string& message, const std::string& button) {
  if (!hasWindow() || GetCurrentThreadId() == impl->uiThread) return false;
  {
    std::lock_guard<std::mutex> lock(gBoxMutex);
    if (gBoxesClosed || gBox) return false;
  }
  // Also for a console the editor was started from, and for whoever reads its output later.
  std::fprintf(stderr, "orq-editor: %s\n", message.c_str());
  std::fflush(stderr);
  const std::wstring confirmText = wideText(button);
  const std::wstring text = wideText(message);
  const std::wstring caption = wideText(title);
  tConfirmButton = &confirmText;
  tBoxHook = SetWindowsHookExW(WH_CBT, boxHook, nullptr, GetCurrentThreadId());
  const UINT style =
      button.empty() ? MB_OK | MB_ICONWARNING : MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2;
  const int answer = MessageBoxW(impl->window, text.c_str(), caption.c_str(), style);
  if (tBoxHook) UnhookWindowsHookEx(tBoxHook);
  tBoxHook = nullptr;
  tConfirmButton = nullptr;
  std::lock_guard<std::mutex> lock(gBoxMutex);
  gBox = nullptr;
  return !button.empty() && answer == IDOK && !gBoxesClosed;
}

void Platform::closeDialogs() {
  if (!impl) return;
  closeBoxes();
  HWND dialog = nullptr;
  {
    std::lock_guard<std::mutex> lock(impl->dialogMutex);
    impl->dialogsClosed = true;
    if (!impl->dialogOpen) return;
    dialog = impl->dialogWindow;
  }
  if (dialog) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  if (GetCurrentThreadId() != impl->uiThread) return;
  const auto deadline = std::chrono::steady_clock::now() + kDialogCloseBudget;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(impl->dialogMutex);
      if (!impl->dialogOpen) return;
      // The dialog may have got its window only now.
      if (!dialog && impl->dialogWindow) {
        dialog = impl->dialogWindow;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      }
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

}  // namespace orq
