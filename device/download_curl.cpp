// The firmware download over libcurl (Linux).
//
// The download drives curl's multi interface itself instead of curl_easy_perform: during a
// stalled transfer curl calls its progress callback only about once a second, and a shutdown
// must not wait that long. Each turn of the loop waits at most kStopCheck for the socket and
// then looks at the stop flag. Redirects are followed here, not by curl, so that every address
// in the chain passes the same rule as the first one.
#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "device/firmware.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kStopCheck{10};

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
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
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) return {};
  Parts p;
  for (auto [part, out] : {std::pair{CURLUPART_SCHEME, &p.scheme}, {CURLUPART_HOST, &p.host}}) {
    char* text = nullptr;
    if (curl_url_get(url.get(), part, &text, 0) != CURLUE_OK) return {};
    *out = text;
    curl_free(text);
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
  curl_easy_getinfo(sink->easy, CURLINFO_RESPONSE_CODE, &status);
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
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return {CURLE_FAILED_INIT, false};
  Outcome out{CURLE_OK, false};
  for (int running = 1; running;) {
    if (stop.get()) {
      out.stopped = true;
      break;
    }
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      out.code = CURLE_FAILED_INIT;
      break;
    }
    if (running && curl_multi_poll(multi, nullptr, 0, kStopCheck.count(), nullptr) != CURLM_OK) {
      out.code = CURLE_FAILED_INIT;
      break;
    }
  }
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) out.code = msg->data.result;
  }
  if (out.code == CURLE_ABORTED_BY_CALLBACK && stop.get()) out.stopped = true;
  curl_multi_remove_handle(multi, easy);
  return out;
}

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

const bool kRedirectRefusedBeforeRequest = true;

bool downloadAddressAllowed(const std::string& address) {
  initCurlOnce();
  const Parts p = partsOf(address);
  return downloadPartsAllowed(p.scheme, p.host);
}

Download downloadImage(const std::string& address, FirmwareImage buffer,
                       const Shared<uint8_t>& stop, const DownloadBounds& bounds) {
  if (address.empty() || !downloadAddressAllowed(address)) return Download::Failed;
  const std::string scheme = partsOf(address).scheme;
  Easy easy(curl_easy_init());
  Multi multi(curl_multi_init());
  if (!easy || !multi) return Download::Failed;
  CURL* e = easy.get();

  Slist headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
  if (headers) curl_slist_append(headers.get(), "Pragma: no-cache");  // same head, or unchanged
  Sink sink{buffer, e};
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  // Curl then leaves a hung name lookup to its thread instead of waiting for it at cleanup.
  curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, scheme.c_str());
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &stop);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(bounds.connect.count()));
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, bounds.lowSpeedBytes);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(bounds.lowSpeedTime.count()));

  const Clock::time_point deadline = Clock::now() + bounds.total;
  std::string url = address;
  for (int hop = 0;; ++hop) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return Download::Failed;
    sink.filled = 0;
    sink.tooLong = false;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
    const Outcome out = perform(multi.get(), e, stop);
    if (out.stopped) return Download::Stopped;
    if (out.code != CURLE_OK) return Download::Failed;
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    if (status == 200) {
      return sink.filled == buffer.size() && !sink.tooLong ? Download::Complete : Download::Failed;
    }
    char* next = nullptr;
    curl_easy_getinfo(e, CURLINFO_REDIRECT_URL, &next);
    if (!isRedirect(status) || !next || hop >= bounds.maxRedirects) return Download::Failed;
    url = next;
    // A redirect keeps the scheme: an https address never ends on plain http, and a loopback
    // http address never on a server that needs a certificate it was not given.
    const Parts p = partsOf(url);
    if (p.scheme != scheme || !downloadAddressAllowed(url)) return Download::Failed;
  }
}

}  // namespace orq
