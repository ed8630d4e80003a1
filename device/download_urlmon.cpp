// The firmware download over URL monikers (Windows): DeleteUrlCacheEntryW, then
// URLOpenBlockingStreamW and the stream's Read, as strict as the Linux download.
//
// Bounds. URLOpenBlockingStreamW holds its thread until the whole answer has arrived and has no
// time limit of its own: a server that accepts the connection and then says nothing holds it for
// as long as WinINet's own timeouts, minutes. So the fetch runs on a thread of its own and the
// worker waits for it in steps of kStopCheck, watching the stop flag and the bounds (no answer
// within `connect`, slower than `lowSpeedBytes` for `lowSpeedTime`, longer than `total`). When
// one of them ends the wait, the worker returns at once and the fetch thread is abandoned: it is
// asked to give up (its progress calls answer E_ABORT, which Windows' urlmon takes as the end of
// the binding; Wine's ignores it), and it ends when urlmon does. It writes only into a job that
// it shares, reference-counted, with the wait, never into the image buffer, so a late answer
// cannot change what the worker flashes; and at most kMaxFetches of them exist, so an
// unreachable server cannot pile up threads.
//
// Redirects are followed by urlmon, which asks nobody first: a URLOpenBlockingStreamW caller's
// object is not offered the hook that could refuse a hop before it is requested (Wine hands it
// only the IBindStatusCallback methods). So each hop is checked when urlmon reports it: a hop the
// rule refuses (another scheme, a host the rule does not allow, more than maxRedirects) fails the
// download at once and nothing that hop sends is used; WinINet may still have sent its request.
#include <windows.h>
// (urlmon.h and wininet.h after windows.h)
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/firmware.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kStopCheck{10};
constexpr int kMaxFetches = 4;
constexpr ULONG kReadSize = 4096;

std::atomic<int> gFetches{0};  // fetch threads alive, abandoned ones included

template <typename T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string narrow(const wchar_t* s) {
  if (!s || !*s) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

struct Parts {
  std::string scheme;
  std::string host;
};

// Scheme and host as urlmon reads the address (IUri lowers both); an IPv6 host gets its
// brackets back. Empty on error or for a relative address.
Parts partsOf(const std::wstring& address) {
  IUri* uri = nullptr;
  if (address.empty() || FAILED(CreateUri(address.c_str(), Uri_CREATE_CANONICALIZE, 0, &uri))) {
    return {};
  }
  Parts p;
  BSTR scheme = nullptr, host = nullptr;
  DWORD hostType = Uri_HOST_UNKNOWN;
  if (SUCCEEDED(uri->GetSchemeName(&scheme)) && SUCCEEDED(uri->GetHost(&host)) &&
      SUCCEEDED(uri->GetHostType(&hostType))) {
    p.scheme = narrow(scheme);
    p.host = narrow(host);
    if (hostType == Uri_HOST_IPV6 && !p.host.empty() && p.host.front() != '[') {
      p.host = "[" + p.host + "]";
    }
  }
  SysFreeString(scheme);
  SysFreeString(host);
  uri->Release();
  return p;
}

bool allowed(const std::wstring& address) {
  const Parts p = partsOf(address);
  return downloadPartsAllowed(p.scheme, p.host);
}

// One download, shared by the worker's wait and the fetch thread.
struct Job {
  Job(std::wstring address, int redirects)
      : url(std::move(address)), scheme(partsOf(url).scheme), maxRedirects(redirects) {}
  const std::wstring url;
  const std::string scheme;
  const int maxRedirects;
  std::atomic<bool> abandoned{false};  // worker: give up
  std::atomic<bool> answered{false};   // fetch: the server has answered (headers)
  std::atomic<uint64_t> received{0};   // fetch: body bytes seen so far

  std::mutex mutex;
  std::condition_variable finished;
  // Guarded by mutex; written once by the fetch thread, then `done` is set.
  bool done = false;
  Download result = Download::Failed;
  std::vector<uint8_t> body;  // the image when result is Complete

  // The first outcome counts; later ones (the rest of a refused redirect) are dropped.
  void finish(Download outcome, std::vector<uint8_t> image = {}) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (done) return;
      done = true;
      result = outcome;
      body = std::move(image);
    }
    finished.notify_all();
  }
};

// The caller object urlmon reports to: the bind options, the progress (where each redirect is
// checked and a give-up request is answered) and the HTTP status. It asks for no cached copy and
// offers no window, so urlmon never shows a dialog (a certificate problem, for one, is then a
// plain failure). Where urlmon hands it on, it also adds no-cache headers and learns the status
// from the response; otherwise the status comes from the binding's IWinInetHttpInfo.
class Callback final : public IBindStatusCallback, public IHttpNegotiate, public IServiceProvider {
 public:
  explicit Callback(std::shared_ptr<Job> job) : job_(std::move(job)) {}

  long status = 0;  // HTTP status; 0 until known

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
      *out = static_cast<IBindStatusCallback*>(this);
    } else if (iid == IID_IHttpNegotiate) {
      *out = static_cast<IHttpNegotiate*>(this);
    } else if (iid == IID_IServiceProvider) {
      *out = static_cast<IServiceProvider*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IServiceProvider: only what lets this object negotiate; no window, no security prompt.
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
    if (service == IID_IHttpNegotiate) return QueryInterface(iid, out);
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }

  // IHttpNegotiate
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                 LPWSTR* additional) override {
    static constexpr wchar_t kHeaders[] = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    if (!additional) return E_POINTER;
    *additional = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kHeaders));
    if (*additional) std::memcpy(*additional, kHeaders, sizeof kHeaders);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* extra) override {
    if (extra) *extra = nullptr;
    status = static_cast<long>(code);
    job_->answered = true;
    return S_OK;
  }

  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override {
    release(binding_);
    binding_ = binding;
    if (binding_) binding_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG, ULONG code, LPCWSTR text) override {
    if (code == BINDSTATUS_REDIRECTING) {
      // A redirect keeps the scheme: an https address never ends on plain http, and a loopback
      // http address never on a server that needs a certificate it was not given.
      const std::wstring next = text ? text : L"";
      if (++redirects_ > job_->maxRedirects || partsOf(next).scheme != job_->scheme ||
          !allowed(next)) {
        job_->abandoned = true;
        job_->finish(Download::Failed);
        return E_ABORT;
      }
    }
    if (code == BINDSTATUS_BEGINDOWNLOADDATA || code == BINDSTATUS_DOWNLOADINGDATA ||
        code == BINDSTATUS_ENDDOWNLOADDATA) {
      job_->answered = true;
      job_->received = progress;
      if (status == 0) status = statusFromBinding();
      // A body longer than the image cannot be the image: no reason to take the rest of it.
      if (progress > kFirmwareImageSize) return E_ABORT;
    }
    return job_->abandoned ? E_ABORT : S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override {
    if (status == 0) status = statusFromBinding();
    release(binding_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override {
    if (!flags || !info) return E_POINTER;
    *flags = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE |
             BINDF_RESYNCHRONIZE | BINDF_NO_UI | BINDF_SILENTOPERATION;
    const ULONG size = info->cbSize;
    std::memset(info, 0, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 private:
  ~Callback() { release(binding_); }

  long statusFromBinding() {
    IWinInetHttpInfo* info = nullptr;
    if (!binding_ ||
        FAILED(binding_->QueryInterface(IID_IWinInetHttpInfo, reinterpret_cast<void**>(&info)))) {
      return 0;
    }
    DWORD code = 0, size = sizeof code, flags = 0;
    if (info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, &flags,
                        nullptr) != S_OK) {
      code = 0;
    }
    info->Release();
    return static_cast<long>(code);
  }

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<Job> job_;
  IBinding* binding_ = nullptr;
  int redirects_ = 0;
};

// The fetch thread: one blocking download of the address (and of the redirects urlmon follows),
// read in requests of kReadSize bytes. Only a body of exactly the image's size with HTTP 200 is
// the image.
void fetch(std::shared_ptr<Job> job) {
  const HRESULT com = CoInitialize(nullptr);
  DeleteUrlCacheEntryW(job->url.c_str());
  auto* callback = new Callback(job);
  IStream* stream = nullptr;
  const HRESULT opened = URLOpenBlockingStreamW(nullptr, job->url.c_str(), &stream, 0, callback);
  std::vector<uint8_t> body;
  bool whole = false;
  if (SUCCEEDED(opened) && stream) {
    body.reserve(kFirmwareImageSize);
    bool tooLong = false, cut = false;
    while (!job->abandoned) {
      uint8_t chunk[kReadSize];
      ULONG got = 0;
      const HRESULT r = stream->Read(chunk, kReadSize, &got);
      const ULONG take = std::min<ULONG>(got, kReadSize);
      if (body.size() + take > kFirmwareImageSize) {
        tooLong = true;
        break;
      }
      body.insert(body.end(), chunk, chunk + take);
      job->received = body.size();
      if (r != S_OK) {
        cut = FAILED(r);
        break;
      }
    }
    whole = !tooLong && !cut && body.size() == kFirmwareImageSize;
  }
  const bool ok = whole && callback->status == 200;
  release(stream);
  callback->Release();
  if (SUCCEEDED(com)) CoUninitialize();
  job->finish(ok ? Download::Complete : Download::Failed,
              ok ? std::move(body) : std::vector<uint8_t>{});
  --gFetches;
}

}  // namespace

const bool kRedirectRefusedBeforeRequest = false;

bool downloadAddressAllowed(const std::string& address) {
  return allowed(widen(address));
}

Download downloadImage(const std::string& address, FirmwareImage buffer,
                       const Shared<uint8_t>& stop, const DownloadBounds& bounds) {
  if (address.empty() || !downloadAddressAllowed(address)) return Download::Failed;
  if (++gFetches > kMaxFetches) {
    --gFetches;
    return Download::Failed;
  }
  auto job = std::make_shared<Job>(widen(address), bounds.maxRedirects);
  try {
    std::thread(fetch, job).detach();
  } catch (const std::system_error&) {
    --gFetches;
    return Download::Failed;
  }

  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + bounds.total;
  Clock::time_point windowStart = start;  // the low-speed check, one window at a time
  uint64_t windowBytes = 0;
  auto giveUp = [&job](Download d) {
    job->abandoned = true;
    return d;
  };
  std::unique_lock<std::mutex> lock(job->mutex);
  for (;;) {
    if (stop.get()) return giveUp(Download::Stopped);
    if (job->done) break;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return giveUp(Download::Failed);
    if (!job->answered && now - start >= bounds.connect) return giveUp(Download::Failed);
    if (bounds.lowSpeedBytes > 0 && now - windowStart >= bounds.lowSpeedTime) {
      const uint64_t bytes = job->received;
      const auto seconds = std::chrono::duration<double>(now - windowStart).count();
      if (static_cast<double>(bytes - windowBytes) < bounds.lowSpeedBytes * seconds) {
        return giveUp(Download::Failed);
      }
      windowStart = now;
      windowBytes = bytes;
    }
    job->finished.wait_for(lock, kStopCheck);
  }
  if (job->result != Download::Complete || job->body.size() != buffer.size()) {
    return Download::Failed;
  }
  std::copy(job->body.begin(), job->body.end(), buffer.begin());
  return Download::Complete;
}

}  // namespace orq
