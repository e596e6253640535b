#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_directory.h"

extern char** environ;

namespace kestrel_test {

// Two pseudo terminals joined by a socat the pair starts for itself: bytes written to one end
// arrive at the other, as between two serial ports on a null-modem cable. Both ends are links in
// a scratch directory, named uniquely so that pairs of parallel tests never share a port lock.
// The far end stays open for writing as long as the pair lives.
class PtyPair {
 public:
  // "" when socat can be run, else why not.
  static std::string MissingReason() {
    const char* path = ::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
      const size_t end = std::min(dirs.find(':', start), dirs.size());
      const std::string candidate = dirs.substr(start, end - start) + "/socat";
      if (end > start && ::access(candidate.c_str(), X_OK) == 0) return "";
      start = end + 1;
    }
    return "socat is not installed; the serial tests need it for their pseudo terminals";
  }

  PtyPair() : scratch_("kestrel_pty") {
    static std::atomic<int> serial{0};
    const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(serial++);
    near_ = scratch_.Path("ttyNear" + tag);
    far_ = scratch_.Path("ttyFar" + tag);
    const std::string near_address = "pty,raw,echo=0,link=" + near_;
    const std::string far_address = "pty,raw,echo=0,link=" + far_;
    std::vector<char*> argv = {const_cast<char*>("socat"), const_cast<char*>(near_address.c_str()),
                               const_cast<char*>(far_address.c_str()), nullptr};
    if (scratch_.path().empty() ||
        ::posix_spawnp(&pid_, "socat", nullptr, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
      problem_ = "socat could not be started";
      return;
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Exists(near_) || !Exists(far_)) {
      if (std::chrono::steady_clock::now() > limit) {
        problem_ = "socat made no pseudo terminals";
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    far_fd_ = ::open(far_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (far_fd_ < 0) problem_ = "the far end would not open: " + std::string(strerror(errno));
  }

  ~PtyPair() {
    if (far_fd_ >= 0) ::close(far_fd_);
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // "" when both ends are ready.
  const std::string& problem() const { return problem_; }
  // The end the program under test opens.
  const std::string& near_end() const { return near_; }
  const ScratchDirectory& scratch() const { return scratch_; }

  // Writes as much of `bytes` to the far end as it takes now without blocking; answers how much.
  size_t WriteSome(std::span<const uint8_t> bytes) {
    const ssize_t n = ::write(far_fd_, bytes.data(), bytes.size());
    return n > 0 ? size_t(n) : 0;
  }

 private:
  static bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  }

  ScratchDirectory scratch_;
  std::string near_, far_;
  pid_t pid_ = -1;
  int far_fd_ = -1;
  std::string problem_;
};

}  // namespace kestrel_test
