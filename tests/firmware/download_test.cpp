// The firmware download against a loopback HTTP server started here, the address rule, and the
// version stamp and decision, the same on every system (the Windows build runs them over URL
// monikers). Nothing here leaves this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/device_link.h"
#include "device/firmware.h"
#include "tests/firmware/download_fixture.h"
#include "tests/firmware/loopback_http.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using orq::Download;
using orq::kFirmwareImageSize;
using orq_test::body;
using orq_test::fetch;
using orq_test::Fetched;
using orq_test::imageBytes;
using orq_test::HttpReply;
using orq_test::LoopbackHttp;
using orq_test::noAnswer;
using orq_test::redirect;
using orq_test::stall;

// Bounds that let a stalled server end the download within a second or two: by the low-speed
// limit, or (the limit off) by the total time.
orq::DownloadBounds lowSpeedBound() {
  orq::DownloadBounds b;
  b.total = 30s;
  b.lowSpeedTime = 1s;
  return b;
}
orq::DownloadBounds totalBound() {
  orq::DownloadBounds b;
  b.total = 400ms;
  b.lowSpeedBytes = 0;
  return b;
}

TEST(FirmwareDownload, OnlyAWholeImageWithHttpSuccessIsTaken) {
  const std::string good = imageBytes(0x0105);
  const struct {
    const char* what;
    HttpReply reply;
    orq::DownloadBounds bounds;
    Download want;
  } cases[] = {
      {"exactly 131072 bytes", body(200, good), {}, Download::Complete},
      {"one byte short", body(200, good.substr(0, kFirmwareImageSize - 1)), {}, Download::Failed},
      {"one byte over", body(200, good + 'x'), {}, Download::Failed},
      {"twice the size", body(200, good + good), {}, Download::Failed},
      {"empty", body(200, ""), {}, Download::Failed},
      {"404 with an image-sized body", body(404, good), {}, Download::Failed},
      {"500", body(500, "oops"), {}, Download::Failed},
      {"stalls mid-body", stall(good, 512), lowSpeedBound(), Download::Failed},
      {"stalls mid-body, total bound", stall(good, 65536), totalBound(), Download::Failed},
      {"never answers", noAnswer(), lowSpeedBound(), Download::Failed},
      {"never answers, total bound", noAnswer(), totalBound(), Download::Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LoopbackHttp server(c.reply);
    const Fetched f = fetch(server.url(), c.bounds);
    EXPECT_EQ(f.result, c.want);
    EXPECT_EQ(server.requests(), 1);
    // The stalls end by their bound, long before the 30 s total of the low-speed rows.
    EXPECT_LT(f.took, 5s);
    if (c.want == Download::Complete) {
      EXPECT_TRUE(f.image == good);
      const std::string request = server.lastRequest();
      EXPECT_EQ(request.rfind("GET /fw/ORQ.bin?v= HTTP/1.1\r\n", 0), 0u) << request;
    }
  }
}

// A new image published between two downloads is the one the second gets: nothing is served
// from a cache.
TEST(FirmwareDownload, EachDownloadAsksTheServer) {
  const std::string first = imageBytes(0x0105), second = imageBytes(0x0106);
  LoopbackHttp server([&](const std::string&, uint16_t) {
    return body(200, server.requests() <= 1 ? first : second);
  });
  EXPECT_TRUE(fetch(server.url()).image == first);
  const Fetched again = fetch(server.url());
  EXPECT_EQ(again.result, Download::Complete);
  EXPECT_TRUE(again.image == second);
  EXPECT_EQ(server.requests(), 2);
}

TEST(FirmwareDownload, RedirectsKeepTheSchemeAndAreLimited) {
  const std::string good = imageBytes(0x0203);
  LoopbackHttp server([&](const std::string& target, uint16_t port) -> HttpReply {
    const std::string self = "127.0.0.1:" + std::to_string(port);
    if (target == "/same") return redirect(302, "/image");
    if (target == "/image") return body(200, good);
    if (target == "/https") return redirect(302, "https://" + self + "/image");
    // This machine under a name the rule does not take: refused, and nothing leaves the
    // machine even where the hop is asked.
    if (target == "/elsewhere")
      return redirect(302, "http://[::ffff:127.0.0.1]:" + std::to_string(port) + "/image");
    if (target == "/loop") return redirect(307, "/loop");
    return body(404, "");
  });
  const struct {
    const char* target;
    Download want;
    int connections;  // the server's count, so a refused hop shows it was never tried
  } cases[] = {
      {"/same", Download::Complete, 2},
      {"/https", Download::Failed, 1},
      {"/elsewhere", Download::Failed, 1},  // plain http only to 127.0.0.0/8, [::1], localhost
      {"/loop", Download::Failed, 4},       // the first request and three redirects
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const int before = server.connections();
    const Fetched f = fetch(server.url(c.target));
    EXPECT_EQ(f.result, c.want);
    // Where the system follows redirects itself, a refused hop may have been asked; its answer
    // is still never taken.
    if (c.want == Download::Complete || orq::kRedirectRefusedBeforeRequest) {
      EXPECT_EQ(server.connections() - before, c.connections);
    } else {
      EXPECT_GE(server.connections() - before, c.connections);
    }
    if (c.want == Download::Complete) {
      EXPECT_TRUE(f.image == good);
    }
  }
}

TEST(FirmwareDownload, StopRequestEndsItPromptly) {
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "server never answers" : "server stalls mid-body");
    LoopbackHttp server(silent ? noAnswer() : stall(imageBytes(0x0105), 1000));
    std::vector<uint8_t> buffer(kFirmwareImageSize);
    orq::Shared<uint8_t> stop{0};
    Clock::time_point stopAt;
    std::thread stopper([&] {
      while (server.requests() == 0) std::this_thread::sleep_for(1ms);
      std::this_thread::sleep_for(100ms);
      stopAt = Clock::now();
      stop = 1;
    });
    // The editor's own bounds: only the stop request can end this in time.
    const Download d =
        orq::downloadImage(server.url(), orq::FirmwareImage(buffer.data(), buffer.size()), stop);
    const auto ended = Clock::now();
    stopper.join();
    EXPECT_EQ(d, Download::Stopped);
    EXPECT_LT(ended - stopAt, 500ms);
  }
}

TEST(FirmwareDownload, AddressRule) {
  const struct {
    const char* address;
    bool allowed;
  } cases[] = {
      {"https://fw.example.com/fw/ORQ.bin?v=", true},
      {"HTTPS://fw.example.com/fw/ORQ.bin?v=", true},
      {"http://127.0.0.1:8080/fw/ORQ.bin?v=", true},
      {"http://127.200.1.9/fw/ORQ.bin?v=", true},
      {"http://localhost:8080/fw/ORQ.bin?v=", true},
      {"http://[::1]:8080/fw/ORQ.bin?v=", true},
      {"http://fw.example.com/fw/ORQ.bin?v=", false},  // no certificate, not this machine
      {"http://127.0.0.1.example.com/fw/ORQ.bin?v=", false},
      {"http://128.0.0.1/fw/ORQ.bin?v=", false},
      {"http://evil.localhost/fw/ORQ.bin?v=", false},
      {"ftp://127.0.0.1/fw/ORQ.bin", false},
      {"file:///tmp/ORQ.bin", false},
      {"fw.example.com/fw/ORQ.bin", false},
      {"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(orq::downloadAddressAllowed(c.address), c.allowed) << c.address;
}

TEST(FirmwareImage, StampAndDecision) {
  std::vector<uint8_t> image(kFirmwareImageSize, 0xEE);
  image[131068] = 0x05;
  image[131069] = 0x01;
  EXPECT_EQ(
      orq::firmwareStamp(std::span<const uint8_t, kFirmwareImageSize>(image.data(), image.size())),
      0x0105);

  const struct {
    uint16_t image, device;
    bool newer;
  } cases[] = {
      {0x0105, 0x0105, false}, {0x0105, 0x0104, true},
      {0x0105, 0x0106, false}, {0x0100, 0x00FF, true},   // a new major beats any minor
      {0xFFFF, 0x0104, false}, {0xFFFF, 0x0000, false},  // erased flash
      {0x0000, 0x0000, false}, {0x0001, 0x0000, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(orq::firmwareIsNewer(c.image, c.device), c.newer)
        << std::hex << c.image << " over " << c.device;
  }
}

}  // namespace
