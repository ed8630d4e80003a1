// What the fault tests (and the device link benchmark) run the worker against: a JACK dummy
// server of their own, which they may kill and start again, and orq-devsim as a separate
// process. The simulator must live in another process here: after a server dies, libjack frees
// every JACK client of a process at that process's next client open, so an in-process simulator
// would be freed under its own feet by the worker's reconnection.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fault_env {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

inline pid_t spawn(const std::vector<std::string>& args, const std::string& out, int stdinFd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdinFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Waits for `pid` to end; its exit status, 128 + signal when killed, or -1 when it is still
// running after `timeout`.
inline int waitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (r < 0 || Clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(2ms);
  }
}

// Ends a child of ours: SIGTERM, then SIGKILL when it has not gone after `grace`. Its status as
// waitExit gives it.
inline int endChild(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return -1;
  ::kill(pid, SIGCONT);  // a frozen process cannot act on SIGTERM
  ::kill(pid, SIGTERM);
  const int status = waitExit(pid, grace);
  if (status >= 0) return status;
  ::kill(pid, SIGKILL);
  return waitExit(pid, 10s);
}

inline std::string slurp(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline int countLines(const std::string& text, const std::string& part) {
  int n = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) n += line.find(part) != std::string::npos;
  return n;
}

// A private JACK dummy server. The name comes from the pool scripts/with-jack.sh uses
// (orq-jack-0..5, each held through a lock file while in use): libjack keeps only 8 server
// names, and reclaims the entry of a killed server only when one of the same name starts.
class JackServer {
 public:
  JackServer() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    // Other runs may hold every name for a while; wait for one rather than fail.
    const auto deadline = Clock::now() + 120s;
    while (name_.empty() && Clock::now() < deadline) {
      for (int i = 0; i < 6 && name_.empty(); ++i) {
        const int fd = ::open((dir + "/orq-jack-" + std::to_string(i) + ".lock").c_str(),
                              O_RDWR | O_CREAT, 0644);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
          lockFd_ = fd;
          name_ = "orq-jack-" + std::to_string(i);
        } else {
          ::close(fd);
        }
      }
      if (name_.empty()) std::this_thread::sleep_for(200ms);
    }
    log_ = dir + "/orq-fault-" + (name_.empty() ? "none" : name_) + ".log";
  }
  ~JackServer() {
    stop();
    if (lockFd_ >= 0) ::close(lockFd_);
  }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool reserved() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  std::string log() const { return slurp(log_); }

  // Starts the server as scripts/with-jack.sh does and waits until it takes clients.
  bool start() {
    if (name_.empty() || pid_ > 0) return false;
    std::remove(log_.c_str());
    pid_ = spawn(
        {"jackd", "-n", name_, "-r", "-S", "-t", "5000", "-d", "dummy", "-r", "48000", "-p", "256"},
        log_);
    if (pid_ <= 0) return false;
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      if (waitExit(pid_, 0ms) >= 0) {
        pid_ = -1;
        return false;
      }
      const pid_t probe = spawn({"jack_lsp", "-s", name_}, "/dev/null");
      if (probe > 0 && waitExit(probe, 5s) == 0) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  // As a crash would: no client is told.
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitExit(pid_, 10s);
    pid_ = -1;
  }
  void stop() {
    endChild(pid_, 5s);
    pid_ = -1;
  }

 private:
  std::string name_;
  std::string log_;
  int lockFd_ = -1;
  pid_t pid_ = -1;
};

// orq-devsim as a process of its own, on the server JACK_DEFAULT_SERVER names. Commands go to
// its standard input; its output and its message log are read from files.
class Devsim {
 public:
  Devsim(const std::string& program, const std::string& base, std::vector<std::string> extra = {}) {
    static int serial = 0;
    const std::string stem =
        "/tmp/orq-fault-devsim-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    out_ = stem + ".out";
    log_ = stem + ".log";
    std::remove(out_.c_str());
    std::remove(log_.c_str());
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<std::string> args = {program, "--name", base, "--client", "orq-devsim-fault",
                                     "--log", log_};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = spawn(args, out_, fds[0]);
    ::close(fds[0]);
    commands_ = fds[1];
  }
  ~Devsim() {
    end();
    std::remove(out_.c_str());
    std::remove(log_.c_str());
  }
  Devsim(const Devsim&) = delete;
  Devsim& operator=(const Devsim&) = delete;

  // Its ports are on the service (it says so once at start).
  bool ready(std::chrono::milliseconds timeout = 10s) const {
    const auto deadline = Clock::now() + timeout;
    while (output().find("orq-devsim: ports") == std::string::npos) {
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  // False when the simulator has ended; its last output then goes to stderr. SIGPIPE, which
  // would end the calling program without a word, is ignored.
  bool command(const std::string& line) const {
    ::signal(SIGPIPE, SIG_IGN);
    const std::string text = line + "\n";
    if (::write(commands_, text.data(), text.size()) == static_cast<ssize_t>(text.size()))
      return true;
    std::fprintf(stderr, "orq-devsim took no \"%s\"; its output:\n%s\n", line.c_str(),
                 output().c_str());
    return false;
  }
  std::string output() const { return slurp(out_); }
  // Messages the device received, or sent, with this name ("IDENTIFY", "GARBAGE", ...).
  int received(const std::string& name) const {
    return countLines(slurp(log_), "<- " + name + " ");
  }
  int sent(const std::string& name) const { return countLines(slurp(log_), "-> " + name + " "); }
  // Its exit status once it has ended by itself, or -1 when it still runs after `timeout`.
  int exitStatus(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    const int status = waitExit(pid_, timeout);
    if (status >= 0) pid_ = -1;
    return status;
  }
  // SIGTERM and wait, as exitStatus.
  int terminate(std::chrono::milliseconds timeout) {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    return exitStatus(timeout);
  }
  void end() {
    if (commands_ >= 0) ::close(commands_);
    commands_ = -1;
    endChild(pid_, 5s);
    pid_ = -1;
  }

 private:
  std::string out_;
  std::string log_;
  int commands_ = -1;
  pid_t pid_ = -1;
};

// The environment the worker and the simulator find the server through; JACK is forced so that
// a machine with an ALSA sequencer runs the same cases.
inline void useServer(const JackServer& server) {
  ::setenv("JACK_DEFAULT_SERVER", server.name().c_str(), 1);
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  ::setenv("ORQ_MIDI_API", "jack", 1);
}

}  // namespace fault_env
