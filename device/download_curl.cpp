// The firmware download over libcurl (Linux).
//
// The download drives curl's multi interface itself instead of curl_easy_perform: during a
// stalled transfer curl calls its progress callback only about once a second, and a shutdown
// must not wait that long. Each turn of the loop waits at most kStopCheck for the socket and
// then looks at the stop flag. Redirects are followed here, not by curl, so that every address
// in the chain passes the same rule as the first one.
//
// libcurl is opened on the first download rather than linked: with its TLS, Kerberos and LDAP
// libraries it is about thirty shared objects, which every start of the editor would otherwise
// map and relocate before the window opens, and most runs never download anything.
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

#include "device/firmware.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kStopCheck{10};

// The part of libcurl used here, looked up by name in libcurl.so.4.
struct Curl {
  CURLcode (*global_init)(long);
  CURLU* (*url)();
  CURLUcode (*url_set)(CURLU*, CURLUPart, const char*, unsigned int);
  CURLUcode (*url_get)(const CURLU*, CURLUPart, char**, unsigned int);
  void (*url_cleanup)(CURLU*);
  void (*free)(void*);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
  CURLM* (*multi_init)();
  CURLMcode (*multi_add_handle)(CURLM*, CURL*);
  CURLMcode (*multi_perform)(CURLM*, int*);
  CURLMcode (*multi_poll)(CURLM*, curl_waitfd[], unsigned int, int, int*);
  CURLMsg* (*multi_info_read)(CURLM*, int*);
  CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
  CURLMcode (*multi_cleanup)(CURLM*);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
};

Curl gCurl;

// Opens libcurl and initialises it, once per run. False when the library or one of its
// functions is missing: every download then fails, as it would without a network.
bool loadCurl() {
  static std::once_flag once;
  static bool loaded = false;
  std::call_once(once, [] {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    bool complete = true;
    auto find = [&](auto& function, const char* name) {
      void* symbol = dlsym(library, name);
      complete &= symbol != nullptr;
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(symbol);
    };
    Curl c{};
    find(c.global_init, "curl_global_init");
    find(c.url, "curl_url");
    find(c.url_set, "curl_url_set");
    find(c.url_get, "curl_url_get");
    find(c.url_cleanup, "curl_url_cleanup");
    find(c.free, "curl_free");
    find(c.easy_init, "curl_easy_init");
    find(c.easy_setopt, "curl_easy_setopt");
    find(c.easy_getinfo, "curl_easy_getinfo");
    find(c.easy_cleanup, "curl_easy_cleanup");
    find(c.multi_init, "curl_multi_init");
    find(c.multi_add_handle, "curl_multi_add_handle");
    find(c.multi_perform, "curl_multi_perform");
    find(c.multi_poll, "curl_multi_poll");
    find(c.multi_info_read, "curl_multi_info_read");
    find(c.multi_remove_handle, "curl_multi_remove_handle");
    find(c.multi_cleanup, "curl_multi_cleanup");
    find(c.slist_append, "curl_slist_append");
    find(c.slist_free_all, "curl_slist_free_all");
    // The library stays open for the rest of the run; curl may keep threads of its own.
    if (!complete || c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return;
    gCurl = c;
    loaded = true;
  });
  return loaded;
}

struct EasyDeleter {
  void operator()(CURL* e) const { gCurl.easy_cleanup(e); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { gCurl.multi_cleanup(m); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { gCurl.slist_free_all(l); }
};
struct UrlDeleter {
  void operator()(CURLU* u) const { gCurl.url_cleanup(u); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

struct Parts {
  std::string scheme;
  std::string host;
};

// Scheme and host of an absolute address, lower case as curl normalises them; empty on error.
Parts partsOf(const std::string& address) {
  std::unique_ptr<CURLU, UrlDeleter> url(gCurl.url());
  if (!url || gCurl.url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) return {};
  Parts p;
  for (auto [part, out] : {std::pair{CURLUPART_SCHEME, &p.scheme}, {CURLUPART_HOST, &p.host}}) {
    char* text = nullptr;
    if (gCurl.url_get(url.get(), part, &text, 0) != CURLUE_OK) return {};
    *out = text;
    gCurl.free(text);
  }
  return p;
}

// Where the body goes: at most what is left of the buffer; a body that does not fit ends the
// transfer, since it cannot be the image.
struct Sink {
  FirmwareImage buffer;
  CURL* easy = nullptr;
  size_t filled = 0;
  bool tooLong = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t n = size * count;
  long status = 0;
  gCurl.easy_getinfo(sink->easy, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) return n;  // the body of a redirect is not the image
  if (n > sink->buffer.size() - sink->filled) {
    sink->tooLong = true;
    return 0;  // anything but n ends the transfer
  }
  std::memcpy(sink->buffer.data() + sink->filled, data, n);
  sink->filled += n;
  return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const Shared<uint8_t>*>(user)->get() != 0;  // non-zero aborts
}

struct Outcome {
  CURLcode code = CURLE_OK;
  bool stopped = false;
};

// Runs one request to its end, looking at the stop flag between short waits.
Outcome perform(CURLM* multi, CURL* easy, const Shared<uint8_t>& stop) {
  if (gCurl.multi_add_handle(multi, easy) != CURLM_OK) return {CURLE_FAILED_INIT, false};
  Outcome out{CURLE_OK, false};
  for (int running = 1; running;) {
    if (stop.get()) {
      out.stopped = true;
      break;
    }
    if (gCurl.multi_perform(multi, &running) != CURLM_OK) {
      out.code = CURLE_FAILED_INIT;
      break;
    }
    if (running && gCurl.multi_poll(multi, nullptr, 0, kStopCheck.count(), nullptr) != CURLM_OK) {
      out.code = CURLE_FAILED_INIT;
      break;
    }
  }
  int left = 0;
  while (CURLMsg* msg = gCurl.multi_info_read(multi, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) out.code = msg->data.result;
  }
  if (out.code == CURLE_ABORTED_BY_CALLBACK && stop.get()) out.stopped = true;
  gCurl.multi_remove_handle(multi, easy);
  return out;
}

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

const bool kRedirectRefusedBeforeRequest = true;

bool downloadAddressAllowed(const std::string& address) {
  if (!loadCurl()) return false;
  const Parts p = partsOf(address);
  return downloadPartsAllowed(p.scheme, p.host);
}

Download downloadImage(const std::string& address, FirmwareImage buffer,
                       const Shared<uint8_t>& stop, const DownloadBounds& bounds) {
  if (address.empty() || !downloadAddressAllowed(address)) return Download::Failed;
  const std::string scheme = partsOf(address).scheme;
  Easy easy(gCurl.easy_init());
  Multi multi(gCurl.multi_init());
  if (!easy || !multi) return Download::Failed;
  CURL* e = easy.get();

  Slist headers(gCurl.slist_append(nullptr, "Cache-Control: no-cache"));
  if (headers) gCurl.slist_append(headers.get(), "Pragma: no-cache");  // same head, or unchanged
  Sink sink{buffer, e};
  gCurl.easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  // Curl then leaves a hung name lookup to its thread instead of waiting for it at cleanup.
  gCurl.easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
  gCurl.easy_setopt(e, CURLOPT_PROTOCOLS_STR, scheme.c_str());
  gCurl.easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  gCurl.easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  gCurl.easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  gCurl.easy_setopt(e, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  gCurl.easy_setopt(e, CURLOPT_FAILONERROR, 1L);
  gCurl.easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  gCurl.easy_setopt(e, CURLOPT_WRITEFUNCTION, &onBody);
  gCurl.easy_setopt(e, CURLOPT_WRITEDATA, &sink);
  gCurl.easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  gCurl.easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onProgress);
  gCurl.easy_setopt(e, CURLOPT_XFERINFODATA, &stop);
  gCurl.easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(bounds.connect.count()));
  gCurl.easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, bounds.lowSpeedBytes);
  gCurl.easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(bounds.lowSpeedTime.count()));

  const Clock::time_point deadline = Clock::now() + bounds.total;
  std::string url = address;
  for (int hop = 0;; ++hop) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return Download::Failed;
    sink.filled = 0;
    sink.tooLong = false;
    gCurl.easy_setopt(e, CURLOPT_URL, url.c_str());
    gCurl.easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
    const Outcome out = perform(multi.get(), e, stop);
    if (out.stopped) return Download::Stopped;
    if (out.code != CURLE_OK) return Download::Failed;
    long status = 0;
    gCurl.easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    if (status == 200) {
      return sink.filled == buffer.size() && !sink.tooLong ? Download::Complete : Download::Failed;
    }
    char* next = nullptr;
    gCurl.easy_getinfo(e, CURLINFO_REDIRECT_URL, &next);
    if (!isRedirect(status) || !next || hop >= bounds.maxRedirects) return Download::Failed;
    url = next;
    // A redirect keeps the scheme: an https address never ends on plain http, and a loopback
    // http address never on a server that needs a certificate it was not given.
    const Parts p = partsOf(url);
    if (p.scheme != scheme || !downloadAddressAllowed(url)) return Download::Failed;
  }
}

}  // namespace orq
