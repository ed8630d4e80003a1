// What only the Linux download is checked for: the no-cache request headers (curl sends them;
// under Wine urlmon does not hand the Windows download's headers on), the TLS handshake with an
// untrusted certificate (openssl and python3 make and serve it), and the address taken from the
// environment (setenv). Nothing here leaves this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/firmware.h"
#include "tests/firmware/download_fixture.h"
#include "tests/firmware/loopback_http.h"

namespace {

using orq::Download;
using orq_test::body;
using orq_test::fetch;
using orq_test::Fetched;
using orq_test::imageBytes;
using orq_test::LoopbackHttp;

TEST(FirmwareDownload, RequestAsksForNoCachedCopy) {
  LoopbackHttp server(body(200, imageBytes(0x0105)));
  ASSERT_EQ(fetch(server.url()).result, Download::Complete);
  const std::string request = server.lastRequest();
  EXPECT_NE(request.find("\r\nCache-Control: no-cache"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nPragma: no-cache"), std::string::npos) << request;
}

// A server whose certificate no authority vouches for is refused in the TLS handshake, and
// nothing is taken from it. The server (python3) reports how the handshake ended, so a refusal
// for any other reason does not pass for this one.
TEST(FirmwareDownload, UntrustedCertificateIsRefused) {
  char dir[] = "/tmp/orq-tls-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string cert = std::string(dir) + "/cert.pem";
  const std::string key = std::string(dir) + "/key.pem";
  const std::string makeCert =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
      key + " -out " + cert + " 2>/dev/null";
  ASSERT_EQ(std::system(makeCert.c_str()), 0) << "needs openssl";
  const std::string serve = "python3 " ORQ_TLS_ONCE " " + cert + " " + key;
  std::FILE* server = ::popen(serve.c_str(), "r");
  ASSERT_NE(server, nullptr);
  char line[512] = {};
  ASSERT_NE(std::fgets(line, sizeof line, server), nullptr) << "needs python3";
  const Fetched f =
      fetch("https://127.0.0.1:" + std::string(line, std::strcspn(line, "\n")) + "/fw/ORQ.bin?v=");
  std::string said;
  while (std::fgets(line, sizeof line, server)) said += line;
  ::pclose(server);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(f.result, Download::Failed);
  EXPECT_NE(said.find("handshake failed"), std::string::npos) << said;
  EXPECT_NE(said.find("unknown ca"), std::string::npos) << said;
}

// Restores ORQ_FIRMWARE_URL as it was when the test began.
class EnvironmentGuard {
 public:
  EnvironmentGuard() {
    if (const char* v = std::getenv(kName)) saved_ = v;
  }
  ~EnvironmentGuard() {
    if (saved_)
      ::setenv(kName, saved_->c_str(), 1);
    else
      ::unsetenv(kName);
  }
  static constexpr const char* kName = "ORQ_FIRMWARE_URL";

 private:
  std::optional<std::string> saved_;
};

TEST(FirmwareDownload, AddressFromTheEnvironmentElseTheBuild) {
  EnvironmentGuard guard;
  ::unsetenv(EnvironmentGuard::kName);
  EXPECT_EQ(orq::firmwareAddress(), orq::builtInFirmwareAddress());
  orq::DeviceLink link;
  if (orq::builtInFirmwareAddress().empty()) {
    EXPECT_EQ(orq::downloadFirmwareImage(link), Download::Failed);  // no server, no network
  }
  ::setenv(EnvironmentGuard::kName, "https://mirror.example.net/fw/ORQ.bin?v=", 1);
  EXPECT_EQ(orq::firmwareAddress(), "https://mirror.example.net/fw/ORQ.bin?v=");
  ::setenv(EnvironmentGuard::kName, "", 1);  // set but empty turns a built-in address off
  EXPECT_EQ(orq::firmwareAddress(), "");

  // The worker's download goes to the overriding address, into the one image buffer ...
  const std::string good = imageBytes(0x0105);
  LoopbackHttp server(body(200, good));
  ::setenv(EnvironmentGuard::kName, server.url().c_str(), 1);
  ASSERT_EQ(orq::downloadFirmwareImage(link), Download::Complete);
  const orq::FirmwareImage image = orq::firmwareImage();
  EXPECT_TRUE(std::string(image.begin(), image.end()) == good);
  EXPECT_EQ(orq::firmwareStamp(image), 0x0105);

  // ... and a failed one leaves nothing of an earlier image there to be flashed.
  ::setenv(EnvironmentGuard::kName, "", 1);
  EXPECT_EQ(orq::downloadFirmwareImage(link), Download::Failed);
  EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(server.requests(), 1);
}

}  // namespace
