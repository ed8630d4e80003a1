/* Posts WM_DROPFILES to a window as any other program can: an HDROP of this process's own (a
 * DROPFILES header and the wide path, double-NUL ended, in GlobalAlloc memory), which means
 * nothing in the receiving process.
 * Usage: post_drop.exe TITLE X Y PATH. Exit 0 when posted, 1 when no such window. */
#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  HWND window = FindWindowW(NULL, argv[1]);
  if (!window) return 1;
  const size_t chars = wcslen(argv[4]) + 2;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                               sizeof(DROPFILES) + chars * sizeof(wchar_t));
  DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
  drop->pFiles = sizeof(DROPFILES);
  drop->pt.x = _wtoi(argv[2]);
  drop->pt.y = _wtoi(argv[3]);
  drop->fWide = TRUE;
  wcscpy((wchar_t*)(drop + 1), argv[4]);
  GlobalUnlock(memory);
  if (!PostMessageW(window, WM_DROPFILES, (WPARAM)memory, 0)) return 1;
  Sleep(1000); /* the handle stays alive until the window has had the message */
  return 0;
}
