/* A user-mode MIDI driver for Wine's winmm, for the Windows editor's tests: it shows the MIDI
 * ports of a Linux JACK server (through the bridge, over loopback TCP, see bridge_wire.h) as
 * WinMM devices, so that orq-editor.exe runs its whole WinMM path under Wine against the
 * device simulator. It behaves as Windows does for a USB MIDI device where the tests can see
 * it: names cut to 31 characters, a second device of the same name numbered, sysex out through
 * MODM_LONGDATA, sysex in delivered into the application's buffers (split over several when
 * one does not hold it; dropped whole when the queued ones cannot hold it), MIM_CLOSE the last
 * callback, headers prepared here.
 *
 * Installed as wineorqbridge.drv in the prefix's system32 and chosen with
 * HKCU\Software\Wine\Drivers, Audio = orqbridge. Wine 8's winmm takes its MIDI driver from the
 * audio driver mmdevapi selected, so the audio entry points are here too (no audio endpoints).
 *
 * Sections: wire, ports list, input, output, entry points. */
/* In this order: winsock2.h before windows.h, the multimedia headers after both. */
/* clang-format off */
#include <winsock2.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <mmreg.h>
/* clang-format on */

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "bridge_wire.h"

/* winmm exports it; MinGW's headers do not declare it. */
BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                           DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2);

/* ------------------------------------------------------------------ wire */

static INIT_ONCE gWinsockOnce = INIT_ONCE_STATIC_INIT;

static BOOL CALLBACK startWinsock(INIT_ONCE* once, void* param, void** context) {
  WSADATA data;
  (void)once;
  (void)param;
  (void)context;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

/* A new connection to the bridge, or INVALID_SOCKET (no port set, bridge not running). */
static SOCKET connectBridge(void) {
  char text[16];
  DWORD n = GetEnvironmentVariableA(ORQ_WIRE_PORT_ENV, text, sizeof text);
  if (n == 0 || n >= sizeof text) return INVALID_SOCKET;
  const long port = strtol(text, NULL, 10);
  if (port <= 0 || port > 65535) return INVALID_SOCKET;
  if (!InitOnceExecuteOnce(&gWinsockOnce, startWinsock, NULL, NULL)) return INVALID_SOCKET;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons((u_short)port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, (struct sockaddr*)&addr, sizeof addr) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  BOOL on = TRUE;  // MIDI messages are small and must not wait for more
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&on, sizeof on);
  return s;
}

static BOOL sendAll(SOCKET s, const uint8_t* data, size_t length) {
  while (length > 0) {
    const int chunk = length > 0x10000 ? 0x10000 : (int)length;
    const int n = send(s, (const char*)data, chunk, 0);
    if (n <= 0) return FALSE;
    data += n;
    length -= (size_t)n;
  }
  return TRUE;
}

static BOOL recvAll(SOCKET s, uint8_t* data, size_t length) {
  while (length > 0) {
    const int chunk = length > 0x10000 ? 0x10000 : (int)length;
    const int n = recv(s, (char*)data, chunk, 0);
    if (n <= 0) return FALSE;
    data += n;
    length -= (size_t)n;
  }
  return TRUE;
}

static BOOL sendFrame(SOCKET s, uint8_t type, const uint8_t* payload, size_t length) {
  uint8_t head[5];
  const uint32_t n = (uint32_t)length + 1;
  head[0] = (uint8_t)n;
  head[1] = (uint8_t)(n >> 8);
  head[2] = (uint8_t)(n >> 16);
  head[3] = (uint8_t)(n >> 24);
  head[4] = type;
  return sendAll(s, head, sizeof head) && (length == 0 || sendAll(s, payload, length));
}

/* Reads one frame; the payload (malloc'ed, caller frees) and its length. */
static BOOL recvFrame(SOCKET s, uint8_t* type, uint8_t** payload, size_t* length) {
  uint8_t head[4];
  if (!recvAll(s, head, sizeof head)) return FALSE;
  const uint32_t n = head[0] | head[1] << 8 | head[2] << 16 | (uint32_t)head[3] << 24;
  if (n == 0 || n > ORQ_WIRE_MAX_FRAME) return FALSE;
  uint8_t* data = malloc(n);
  if (!data || !recvAll(s, data, n)) {
    free(data);
    return FALSE;
  }
  *type = data[0];
  *length = n - 1;
  memmove(data, data + 1, n - 1);
  *payload = data;
  return TRUE;
}

/* ------------------------------------------------------------------ ports list */

typedef struct {
  unsigned count[2];  // [0] inputs, [1] outputs
  WCHAR name[2][ORQ_WIRE_MAX_PORTS][MAXPNAMELEN];
} PortList;

/* The bridge's list as it last sent it, kept here: winmm asks for the caps of every port each
 * time the editor scans for its device (every 50 ms), and a round trip to the bridge for each
 * would cost more than the rest of the idle editor. A thread takes the bridge's updates on the
 * list connection; when that connection ends, the next reading connects again. */
static CRITICAL_SECTION gListLock;
static PortList gList;                       // guarded by gListLock
static SOCKET gListSocket = INVALID_SOCKET;  // guarded by gListLock: open while gList is current

/* Reads one kWirePorts frame into `list`. */
static BOOL receiveList(SOCKET s, PortList* list) {
  uint8_t type = 0;
  uint8_t* p = NULL;
  size_t n = 0;
  if (!recvFrame(s, &type, &p, &n)) return FALSE;
  BOOL ok = type == kWirePorts && n >= 2;
  size_t at = 2;
  WCHAR full[ORQ_WIRE_MAX_PORTS][256];  // this direction's names, uncut
  for (int dir = 0; ok && dir < 2; ++dir) {
    list->count[dir] = p[dir] < ORQ_WIRE_MAX_PORTS ? p[dir] : ORQ_WIRE_MAX_PORTS;
    for (unsigned i = 0; ok && i < p[dir]; ++i) {
      if (at >= n || at + 1 + p[at] > n) {
        ok = FALSE;
        break;
      }
      const size_t len = p[at];
      if (i < ORQ_WIRE_MAX_PORTS) {
        WCHAR* whole = full[i];
        whole[MultiByteToWideChar(CP_UTF8, 0, (const char*)p + at + 1, (int)len, whole, 255)] = 0;
        // As Windows names a USB MIDI device: a second device of the same name is "2- name", a
        // third "3- name", and so on; and at most MAXPNAMELEN - 1 characters (the tail cut).
        unsigned same = 1;
        for (unsigned j = 0; j < i; ++j) same += wcscmp(full[j], whole) == 0;
        WCHAR numbered[300];
        if (same > 1)
          wsprintfW(numbered, L"%u- %s", same, whole);
        else
          lstrcpyW(numbered, whole);
        lstrcpynW(list->name[dir][i], numbered, MAXPNAMELEN);
      }
      at += 1 + len;
    }
  }
  free(p);
  return ok;
}

static DWORD WINAPI followList(void* arg) {
  const SOCKET s = (SOCKET)arg;
  PortList list;
  memset(&list, 0, sizeof list);
  while (receiveList(s, &list)) {
    EnterCriticalSection(&gListLock);
    gList = list;
    LeaveCriticalSection(&gListLock);
  }
  EnterCriticalSection(&gListLock);
  if (gListSocket == s) gListSocket = INVALID_SOCKET;  // a bridge that went away
  LeaveCriticalSection(&gListLock);
  closesocket(s);
  return 0;
}

/* The bridge's current ports; an empty list when it cannot be reached. */
static void readList(PortList* list) {
  EnterCriticalSection(&gListLock);
  if (gListSocket == INVALID_SOCKET) {
    memset(gList.count, 0, sizeof gList.count);
    SOCKET s = connectBridge();
    HANDLE thread = NULL;
    if (s != INVALID_SOCKET && sendFrame(s, kWireList, NULL, 0) && receiveList(s, &gList))
      thread = CreateThread(NULL, 0, followList, (void*)s, 0, NULL);
    if (thread) {
      CloseHandle(thread);
      gListSocket = s;
    } else {
      memset(gList.count, 0, sizeof gList.count);
      if (s != INVALID_SOCKET) closesocket(s);
    }
  }
  *list = gList;
  LeaveCriticalSection(&gListLock);
}

/* ------------------------------------------------------------------ open ports */

typedef struct Port {
  SOCKET sock;
  CRITICAL_SECTION lock;
  DWORD_PTR callback;
  WORD callbackFlags;
  HMIDI handle;
  DWORD_PTR instance;
  // Input only. State below is guarded by lock.
  HANDLE thread;
  LONG refs;  // the open handle, the receiving thread, and each callback under way
  BOOL started;
  DWORD startTick;
  MIDIHDR* head;  // buffers added by the application, in order (linked through lpNext)
  MIDIHDR* tail;
  // MIM_CLOSE is the last callback: once MIDM_CLOSE has come no other begins, and one under way
  // then (running without the lock) sends MIM_CLOSE when it returns.
  BOOL closed;
  LONG calling;  // callbacks under way
} Port;

static void notify(Port* port, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
  DriverCallback(port->callback, port->callbackFlags, (HDRVR)port->handle, message, port->instance,
                 param1, param2);
}

static Port* newPort(SOCKET s, const MIDIOPENDESC* desc, DWORD_PTR flags) {
  Port* port = calloc(1, sizeof *port);
  if (!port) return NULL;
  port->sock = s;
  InitializeCriticalSection(&port->lock);
  port->callback = desc->dwCallback;
  port->callbackFlags = HIWORD(flags & CALLBACK_TYPEMASK);
  port->handle = desc->hMidi;
  port->instance = desc->dwInstance;
  return port;
}

static void freePort(Port* port) {
  closesocket(port->sock);
  if (port->thread) CloseHandle(port->thread);
  DeleteCriticalSection(&port->lock);
  free(port);
}

/* Connects and opens port `index` of direction `type` (kWireOpenIn or kWireOpenOut). */
static SOCKET openOnBridge(uint8_t type, UINT index) {
  SOCKET s = connectBridge();
  if (s == INVALID_SOCKET) return s;
  const uint8_t which = (uint8_t)index;
  uint8_t reply = 0;
  uint8_t* p = NULL;
  size_t n = 0;
  if (index < ORQ_WIRE_MAX_PORTS && sendFrame(s, type, &which, 1) && recvFrame(s, &reply, &p, &n) &&
      reply == kWireOk) {
    free(p);
    return s;
  }
  free(p);
  closesocket(s);
  return INVALID_SOCKET;
}

static DWORD prepare(MIDIHDR* header, DWORD_PTR size) {
  if (!header || size < offsetof(MIDIHDR, dwOffset) || !header->lpData) return MMSYSERR_INVALPARAM;
  header->dwFlags |= MHDR_PREPARED;
  header->dwFlags &= ~(MHDR_DONE | MHDR_INQUEUE);
  return MMSYSERR_NOERROR;
}

static DWORD unprepare(MIDIHDR* header, DWORD_PTR size) {
  if (!header || size < offsetof(MIDIHDR, dwOffset) || !header->lpData) return MMSYSERR_INVALPARAM;
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

/* ------------------------------------------------------------------ input */

static void releasePort(Port* port) {
  if (InterlockedDecrement(&port->refs) == 0) freePort(port);
}

/* Takes the first buffer off the queue and marks it done; the caller holds the lock. */
static MIDIHDR* popDone(Port* port) {
  MIDIHDR* h = port->head;
  if (!h) return NULL;
  port->head = h->lpNext;
  if (!port->head) port->tail = NULL;
  h->lpNext = NULL;
  h->dwFlags &= ~MHDR_INQUEUE;
  h->dwFlags |= MHDR_DONE;
  return h;
}

/* Callbacks run without the lock: the application adds buffers again from inside them. Each
 * is bracketed: beginCallback, with the lock held, says whether one may start (not once the
 * port is closed) and counts it; endCallback, without the lock, sends the MIM_CLOSE that a close
 * meanwhile left to the last callback under way. */
static BOOL beginCallback(Port* port) {
  if (port->closed) return FALSE;
  ++port->calling;
  InterlockedIncrement(&port->refs);
  return TRUE;
}

static void endCallback(Port* port) {
  EnterCriticalSection(&port->lock);
  const BOOL closeNow = --port->calling == 0 && port->closed;
  LeaveCriticalSection(&port->lock);
  if (closeNow) notify(port, MIM_CLOSE, 0, 0);
  releasePort(port);
}

/* A sysex into the application's buffers, as many as it takes, all filled at once; then their
 * callbacks, in order. A message that the queued buffers cannot hold whole is dropped whole, as
 * is one that arrives before MIDM_START: the application never sees part of a message. */
static void deliverSysex(Port* port, const uint8_t* data, size_t length) {
  MIDIHDR* first = NULL;
  MIDIHDR* last = NULL;
  DWORD stamp = 0;
  EnterCriticalSection(&port->lock);
  size_t room = 0;
  for (MIDIHDR* h = port->head; h && room < length; h = h->lpNext)
    room += h->dwBufferLength - h->dwBytesRecorded;
  if (port->started && room >= length && beginCallback(port)) {
    for (size_t at = 0; at < length;) {
      MIDIHDR* h = port->head;
      const size_t space = h->dwBufferLength - h->dwBytesRecorded;
      const size_t n = length - at < space ? length - at : space;
      memcpy(h->lpData + h->dwBytesRecorded, data + at, n);
      h->dwBytesRecorded += (DWORD)n;
      at += n;
      popDone(port);
      if (last)
        last->lpNext = h;
      else
        first = h;
      last = h;
    }
    stamp = GetTickCount() - port->startTick;
  }
  LeaveCriticalSection(&port->lock);
  if (!first) return;
  while (first) {
    MIDIHDR* h = first;
    first = h->lpNext;
    h->lpNext = NULL;  // the application may add it again from its callback
    notify(port, MIM_LONGDATA, (DWORD_PTR)h, stamp);
  }
  endCallback(port);
}

static void deliverShort(Port* port, const uint8_t* data, size_t length) {
  DWORD packed = 0;
  for (size_t i = 0; i < length && i < 3; ++i) packed |= (DWORD)data[i] << (8 * i);
  EnterCriticalSection(&port->lock);
  const BOOL call = port->started && beginCallback(port);
  const DWORD stamp = GetTickCount() - port->startTick;
  LeaveCriticalSection(&port->lock);
  if (!call) return;
  notify(port, MIM_DATA, packed, stamp);
  endCallback(port);
}

static DWORD WINAPI receiveInput(void* arg) {
  Port* port = arg;
  uint8_t type = 0;
  uint8_t* p = NULL;
  size_t n = 0;
  while (recvFrame(port->sock, &type, &p, &n)) {
    if (type == kWireMidi && n > 0) {
      if (p[0] == 0xF0)
        deliverSysex(port, p, n);
      else
        deliverShort(port, p, n);
    }
    free(p);
    p = NULL;
  }
  releasePort(port);  // the connection ended: closed by MIDM_CLOSE, or the bridge went away
  return 0;
}

static DWORD inOpen(UINT id, DWORD_PTR* user, const MIDIOPENDESC* desc, DWORD_PTR flags) {
  if (!desc || !user) return MMSYSERR_INVALPARAM;
  SOCKET s = openOnBridge(kWireOpenIn, id);
  if (s == INVALID_SOCKET) return MMSYSERR_NODRIVER;
  Port* port = newPort(s, desc, flags);
  if (!port) {
    closesocket(s);
    return MMSYSERR_NOMEM;
  }
  port->refs = 2;
  port->thread = CreateThread(NULL, 0, receiveInput, port, 0, NULL);
  if (!port->thread) {
    freePort(port);
    return MMSYSERR_NOMEM;
  }
  *user = (DWORD_PTR)port;
  notify(port, MIM_OPEN, 0, 0);
  return MMSYSERR_NOERROR;
}

static DWORD inAddBuffer(Port* port, MIDIHDR* h, DWORD_PTR size) {
  if (!h || size < offsetof(MIDIHDR, dwOffset) || !h->lpData || h->dwBufferLength == 0)
    return MMSYSERR_INVALPARAM;
  if (!(h->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  EnterCriticalSection(&port->lock);
  DWORD result = MIDIERR_STILLPLAYING;
  if (!(h->dwFlags & MHDR_INQUEUE)) {
    h->dwFlags |= MHDR_INQUEUE;
    h->dwFlags &= ~MHDR_DONE;
    h->dwBytesRecorded = 0;
    h->lpNext = NULL;
    if (port->tail)
      port->tail->lpNext = h;
    else
      port->head = h;
    port->tail = h;
    result = MMSYSERR_NOERROR;
  }
  LeaveCriticalSection(&port->lock);
  return result;
}

/* MIDM_STOP returns the buffer being filled (empty ones stay queued); MIDM_RESET returns every
 * buffer. Both stop input. */
static DWORD inStop(Port* port, BOOL all) {
  for (;;) {
    EnterCriticalSection(&port->lock);
    port->started = FALSE;
    MIDIHDR* h = port->head && (all || port->head->dwBytesRecorded > 0) ? popDone(port) : NULL;
    const BOOL call = h && beginCallback(port);
    LeaveCriticalSection(&port->lock);
    if (!call) return MMSYSERR_NOERROR;
    notify(port, MIM_LONGDATA, (DWORD_PTR)h, 0);
    endCallback(port);
    if (!all) return MMSYSERR_NOERROR;
  }
}

/* The close does not wait for a callback under way: it may be waiting for a lock the closing
 * thread holds (RtMidi closes under the mutex its callback takes). That callback sends
 * MIM_CLOSE instead, when it returns. */
static DWORD inClose(Port* port) {
  EnterCriticalSection(&port->lock);
  const BOOL queued = port->head != NULL;
  port->started = FALSE;
  const BOOL closeNow = !queued && !port->closed && port->calling == 0;
  if (!queued) port->closed = TRUE;
  LeaveCriticalSection(&port->lock);
  if (queued) return MIDIERR_STILLPLAYING;
  if (closeNow) notify(port, MIM_CLOSE, 0, 0);
  // Ends the receiving thread's recv; the thread lets go of the port afterwards, unwaited.
  shutdown(port->sock, SD_BOTH);
  releasePort(port);
  return MMSYSERR_NOERROR;
}

static DWORD inCaps(UINT id, MIDIINCAPSW* caps, DWORD_PTR size) {
  if (!caps) return MMSYSERR_INVALPARAM;
  PortList list;
  readList(&list);
  if (id >= list.count[0]) return MMSYSERR_BADDEVICEID;
  MIDIINCAPSW c;
  memset(&c, 0, sizeof c);
  c.wMid = MM_UNMAPPED;
  c.wPid = MM_PID_UNMAPPED;
  c.vDriverVersion = 0x0100;
  memcpy(c.szPname, list.name[0][id], sizeof c.szPname);
  memcpy(caps, &c, size < sizeof c ? size : sizeof c);
  return MMSYSERR_NOERROR;
}

/* ------------------------------------------------------------------ output */

static DWORD outOpen(UINT id, DWORD_PTR* user, const MIDIOPENDESC* desc, DWORD_PTR flags) {
  if (!desc || !user) return MMSYSERR_INVALPARAM;
  SOCKET s = openOnBridge(kWireOpenOut, id);
  if (s == INVALID_SOCKET) return MMSYSERR_NODRIVER;
  Port* port = newPort(s, desc, flags);
  if (!port) {
    closesocket(s);
    return MMSYSERR_NOMEM;
  }
  *user = (DWORD_PTR)port;
  notify(port, MOM_OPEN, 0, 0);
  return MMSYSERR_NOERROR;
}

static BOOL outSend(Port* port, const uint8_t* data, size_t length) {
  EnterCriticalSection(&port->lock);  // one frame at a time, whichever thread sends
  const BOOL ok = sendFrame(port->sock, kWireMidi, data, length);
  LeaveCriticalSection(&port->lock);
  return ok;
}

/* Bytes of a short message by its status byte (running status is not used on this wire). */
static size_t shortLength(uint8_t status) {
  if (status < 0x80) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) return 3;
  if (status < 0xE0 || status == 0xF1 || status == 0xF3) return 2;
  return 1;
}

static DWORD outData(Port* port, DWORD_PTR packed) {
  const uint8_t bytes[3] = {(uint8_t)packed, (uint8_t)(packed >> 8), (uint8_t)(packed >> 16)};
  const size_t n = shortLength(bytes[0]);
  if (n == 0) return MMSYSERR_INVALPARAM;
  return outSend(port, bytes, n) ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

static DWORD outLongData(Port* port, MIDIHDR* h, DWORD_PTR size) {
  if (!h || size < offsetof(MIDIHDR, dwOffset) || !h->lpData) return MMSYSERR_INVALPARAM;
  if (!(h->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (h->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  h->dwFlags &= ~MHDR_DONE;
  h->dwFlags |= MHDR_INQUEUE;
  const BOOL ok = outSend(port, (const uint8_t*)h->lpData, h->dwBufferLength);
  h->dwFlags &= ~MHDR_INQUEUE;
  if (!ok) return MMSYSERR_NODRIVER;
  h->dwFlags |= MHDR_DONE;
  notify(port, MOM_DONE, (DWORD_PTR)h, 0);
  return MMSYSERR_NOERROR;
}

static DWORD outClose(Port* port) {
  notify(port, MOM_CLOSE, 0, 0);
  freePort(port);
  return MMSYSERR_NOERROR;
}

static DWORD outCaps(UINT id, MIDIOUTCAPSW* caps, DWORD_PTR size) {
  if (!caps) return MMSYSERR_INVALPARAM;
  PortList list;
  readList(&list);
  if (id >= list.count[1]) return MMSYSERR_BADDEVICEID;
  MIDIOUTCAPSW c;
  memset(&c, 0, sizeof c);
  c.wMid = MM_UNMAPPED;
  c.wPid = MM_PID_UNMAPPED;
  c.vDriverVersion = 0x0100;
  memcpy(c.szPname, list.name[1][id], sizeof c.szPname);
  c.wTechnology = MOD_MIDIPORT;
  c.wChannelMask = 0xFFFF;
  memcpy(caps, &c, size < sizeof c ? size : sizeof c);
  return MMSYSERR_NOERROR;
}

/* ------------------------------------------------------------------ entry points */

static unsigned portCount(int dir) {
  PortList list;
  readList(&list);
  return list.count[dir];
}

DWORD WINAPI midMessage(UINT id, UINT message, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2) {
  Port* port = (Port*)user;
  switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
      return MMSYSERR_NOERROR;
    case MIDM_GETNUMDEVS:
      return portCount(0);
    case MIDM_GETDEVCAPS:
      return inCaps(id, (MIDIINCAPSW*)param1, param2);
    case MIDM_OPEN:
      return inOpen(id, (DWORD_PTR*)user, (const MIDIOPENDESC*)param1, param2);
  }
  if (!port) return MMSYSERR_INVALHANDLE;
  switch (message) {
    case MIDM_CLOSE:
      return inClose(port);
    case MIDM_PREPARE:
      return prepare((MIDIHDR*)param1, param2);
    case MIDM_UNPREPARE:
      return unprepare((MIDIHDR*)param1, param2);
    case MIDM_ADDBUFFER:
      return inAddBuffer(port, (MIDIHDR*)param1, param2);
    case MIDM_START:
      EnterCriticalSection(&port->lock);
      port->started = TRUE;
      port->startTick = GetTickCount();
      LeaveCriticalSection(&port->lock);
      return MMSYSERR_NOERROR;
    case MIDM_STOP:
      return inStop(port, FALSE);
    case MIDM_RESET:
      return inStop(port, TRUE);
  }
  return MMSYSERR_NOTSUPPORTED;
}

DWORD WINAPI modMessage(UINT id, UINT message, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2) {
  Port* port = (Port*)user;
  switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
      return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
      return portCount(1);
    case MODM_GETDEVCAPS:
      return outCaps(id, (MIDIOUTCAPSW*)param1, param2);
    case MODM_OPEN:
      return outOpen(id, (DWORD_PTR*)user, (const MIDIOPENDESC*)param1, param2);
  }
  if (!port) return MMSYSERR_INVALHANDLE;
  switch (message) {
    case MODM_CLOSE:
      return outClose(port);
    case MODM_PREPARE:
      return prepare((MIDIHDR*)param1, param2);
    case MODM_UNPREPARE:
      return unprepare((MIDIHDR*)param1, param2);
    case MODM_DATA:
      return outData(port, param1);
    case MODM_LONGDATA:
      return outLongData(port, (MIDIHDR*)param1, param2);
    case MODM_RESET:
      return MMSYSERR_NOERROR;  // nothing is held back, and no note is left sounding here
  }
  return MMSYSERR_NOTSUPPORTED;
}

LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM param1,
                            LPARAM param2) {
  switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
      return 1;
    case DRV_QUERYCONFIGURE:
      return 0;
    case DRV_CONFIGURE:
    case DRV_INSTALL:
    case DRV_REMOVE:
      return DRVCNF_OK;
  }
  return DefDriverProc(id, driver, message, param1, param2);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    InitializeCriticalSection(&gListLock);
  }
  return TRUE;
}

/* What Wine 8's mmdevapi asks of an audio driver before it selects it (and winmm then loads the
 * selected one as its MIDI driver). There are no audio endpoints. The priority is the middle
 * one (Priority_Neutral in Wine's mmdevapi): anything above "unavailable" gets chosen when
 * this is the only driver listed. */
int WINAPI GetPriority(void) {
  return 2;
}

HRESULT WINAPI GetEndpointIDs(int flow, WCHAR*** ids, GUID** guids, UINT* count,
                              UINT* defaultIndex) {
  (void)flow;
  *ids = NULL;
  *guids = NULL;
  *count = 0;
  *defaultIndex = (UINT)-1;
  return S_OK;
}

HRESULT WINAPI GetAudioEndpoint(void* key, void* device, void** client) {
  (void)key;
  (void)device;
  *client = NULL;
  return E_NOTIMPL;
}

HRESULT WINAPI GetAudioSessionManager(void* device, void** manager) {
  (void)device;
  *manager = NULL;
  return E_NOTIMPL;
}

HRESULT WINAPI GetPropValue(GUID* guid, const void* key, void* value) {
  (void)guid;
  (void)key;
  (void)value;
  return E_NOTIMPL;
}
