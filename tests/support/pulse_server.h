#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/scratch_directory.h"

extern char** environ;

namespace kestrel_test {

// A private sound-system environment in a scratch directory: its own XDG_RUNTIME_DIR, a cookie
// and client settings of its own, and PULSE_SERVER naming a socket in it. Clients given these
// variables never reach the user's server and never start one themselves.
class PulseEnvironment {
 public:
  enum class Socket {
    kForServer,  // nothing there until a PulseServer starts
    kDead,       // a socket file nobody listens on
  };

  explicit PulseEnvironment(Socket socket = Socket::kForServer) : scratch_("kestrel_pulse") {
    if (scratch_.path().empty()) {
      problem_ = "cannot make a scratch directory";
      return;
    }
    const std::string runtime = scratch_.Path("xdg");
    ::mkdir(runtime.c_str(), 0700);
    ::mkdir((runtime + "/pulse").c_str(), 0700);
    socket_ = runtime + "/pulse/native";
    const std::string client_conf = scratch_.Write("client.conf", "autospawn = no\n");
    variables_ = {{"XDG_RUNTIME_DIR", runtime},
                  {"PULSE_SERVER", "unix:" + socket_},
                  {"PULSE_COOKIE", scratch_.Path("cookie")},
                  {"PULSE_CLIENTCONFIG", client_conf}};
    if (socket == Socket::kDead && !MakeDeadSocket()) problem_ = "cannot make the dead socket";
  }

  // "" when the environment is ready, else what went wrong.
  const std::string& problem() const { return problem_; }
  const ScratchDirectory& scratch() const { return scratch_; }
  const std::string& socket_path() const { return socket_; }

  // The variables a client needs, as (name, value).
  const std::vector<std::pair<std::string, std::string>>& Variables() const { return variables_; }

  // This process's environment with the variables in place, as "NAME=value" strings for
  // posix_spawn or execve (end the pointer array with nullptr yourself).
  std::vector<std::string> ChildEnvironment() const {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      bool replaced = false;
      for (const auto& [name, value] : variables_) replaced |= text.starts_with(name + "=");
      if (!replaced) result.push_back(text);
    }
    for (const auto& [name, value] : variables_) result.push_back(name + "=" + value);
    return result;
  }

  // Sets the variables in this process. Do it before the first sound-system call (a Qt
  // Multimedia client connects once) and before other threads start.
  void ApplyToThisProcess() const {
    for (const auto& [name, value] : variables_) ::setenv(name.c_str(), value.c_str(), 1);
  }

  // Runs a program (looked up on the PATH) to its end with the child environment, output in
  // the scratch directory; one at a time. Answers its exit status, -1 when it did not run or
  // exit normally.
  int Run(std::vector<std::string> argv, std::string* out = nullptr) const {
    return Spawn(argv, ChildEnvironment(), scratch_.Path("run.out"), true, out);
  }

 protected:
  // Starts `argv` with `environment`, stdout and stderr to `log`. With `wait`, waits for its end
  // and answers the exit status (and the log in `out`); otherwise answers the process id.
  static int Spawn(std::vector<std::string> argv, std::vector<std::string> environment,
                   const std::string& log, bool wait, std::string* out = nullptr) {
    std::vector<char*> args, env;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    for (std::string& entry : environment) env.push_back(entry.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    if (!wait) return pid;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out != nullptr) {
      std::ifstream in(log, std::ios::binary);
      out->assign(std::istreambuf_iterator<char>(in), {});
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string problem_;

 private:
  bool MakeDeadSocket() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool fits = socket_.size() < sizeof(address.sun_path);
    if (fits) std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
    const bool bound =
        fits && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);  // the file stays; connecting to it is refused
    return bound;
  }

  ScratchDirectory scratch_;
  std::string socket_;
  std::vector<std::pair<std::string, std::string>> variables_;
};

// A PulseAudio server of the test's own, in user mode, on the socket of its environment; stopped
// and its directory removed when destroyed. It also ends by itself after a minute without any
// client, so a test that crashes leaves no server behind: connect within that minute. A Qt
// Multimedia client reaches only the first server its process sees, so keep one server for the
// life of such a process. Usage:
//
//   if (std::string why = PulseServer::MissingReason(); !why.empty()) GTEST_SKIP() << why;
//   PulseServer server;
//   ASSERT_EQ(server.problem(), "");
//   server.ApplyToThisProcess();             // or pass server.ChildEnvironment() to a child
//   const std::string fifo = server.LoadPipeSource("fifomic", 44100);
//   PulseServer::WriteToPipe(fifo, bytes, 44100);  // a recorder of "fifomic" gets them as sent
class PulseServer : public PulseEnvironment {
 public:
  // Why no server can be started here (the program is not installed); "" when one can.
  static std::string MissingReason() {
    if (!OnPath("pulseaudio")) return "the pulseaudio program is not installed";
    return {};
  }

  // Starts the server and waits until it answers `pactl info`; problem() says what failed.
  PulseServer() {
    if (!problem_.empty()) return;
    if (!OnPath("pactl")) {
      problem_ = "pactl is not installed (pulseaudio-utils)";
      return;
    }
    const std::string home = scratch().Path("home");
    ::mkdir(home.c_str(), 0700);
    std::vector<std::string> environment;
    for (const std::string& entry : ChildEnvironment()) {
      // Nothing of the desktop session: no bus, no display, no user configuration.
      if (!entry.starts_with("DBUS_SESSION_BUS_ADDRESS=") && !entry.starts_with("DISPLAY=") &&
          !entry.starts_with("WAYLAND_DISPLAY=") && !entry.starts_with("HOME=") &&
          !entry.starts_with("XDG_CONFIG_HOME=") && !entry.starts_with("XDG_STATE_HOME=")) {
        environment.push_back(entry);
      }
    }
    environment.push_back("HOME=" + home);
    environment.push_back("XDG_CONFIG_HOME=" + home + "/.config");
    environment.push_back("XDG_STATE_HOME=" + home + "/.state");
    log_ = scratch().Path("pulse.log");
    pid_ =
        Spawn({"pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no", "--system=no",
               "--exit-idle-time=60", "--disallow-exit", "--realtime=no", "--high-priority=no",
               "--log-target=file:" + log_, "-L", "module-native-protocol-unix auth-anonymous=1"},
              environment, scratch().Path("pulse.out"), false);
    if (pid_ <= 0) {
      pid_ = -1;
      problem_ = "cannot start pulseaudio";
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (;;) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        problem_ = "pulseaudio ended at start: " + Log();
        return;
      }
      if (Run({"pactl", "info"}) == 0) return;
      if (std::chrono::steady_clock::now() > deadline) {
        problem_ = "pulseaudio did not answer within 15 s: " + Log();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  ~PulseServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // The server's own log so far.
  std::string Log() const {
    std::ifstream in(log_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // Runs pactl with `args`; true when it succeeded. Its output goes to `out`.
  bool Pactl(std::vector<std::string> args, std::string* out = nullptr) const {
    args.insert(args.begin(), "pactl");
    return Run(std::move(args), out) == 0;
  }

  // A source `name` fed from a FIFO: 8-bit unsigned mono at `rate`. Answers the FIFO's path
  // ("" on failure). What is written there reaches a recorder unchanged; bytes written before
  // recording starts wait in the FIFO (up to 64 KiB). While nothing is written, nothing (not
  // even silence) is recorded. See WriteToPipe for pacing.
  std::string LoadPipeSource(const std::string& name, int rate) const {
    const std::string fifo = scratch().Path(name + ".fifo");
    const bool loaded =
        Pactl({"load-module", "module-pipe-source", "source_name=" + name, "file=" + fifo,
               "format=u8", "rate=" + std::to_string(rate), "channels=1"});
    return loaded ? fifo : std::string();
  }

  // A null sink "<name>_sink" (mono at `rate`) and a source `name` that records what is played
  // into it (Qt does not list monitor sources, hence the remap). Answers the sink's name to play
  // into, e.g. Run({"paplay", "--device=" + sink, wav}); "" on failure.
  std::string LoadNullSinkSource(const std::string& name, int rate) const {
    const std::string sink = name + "_sink";
    const bool loaded = Pactl({"load-module", "module-null-sink", "sink_name=" + sink,
                               "rate=" + std::to_string(rate), "channels=1"}) &&
                        Pactl({"load-module", "module-remap-source", "master=" + sink + ".monitor",
                               "source_name=" + name});
    return loaded ? sink : std::string();
  }

  // Writes `bytes` into a pipe source's FIFO, waiting while it is full, for at most `limit`.
  // The source passes on whatever arrives at once, so a burst larger than the program's ten
  // buffers would be dropped there: `samples_per_second` (the source's rate) paces the writing as
  // a sound card would deliver; 0 writes as fast as the FIFO takes it. True when everything was
  // written. Safe to run on a thread of its own.
  static bool WriteToPipe(const std::string& fifo, std::span<const uint8_t> bytes,
                          int samples_per_second = 0,
                          std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kStep = std::chrono::milliseconds(20);
    const auto start = Clock::now();
    const auto deadline = start + limit;
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    for (int64_t step = 1; done < bytes.size() && Clock::now() < deadline; ++step) {
      size_t due = bytes.size();
      if (samples_per_second > 0) {
        due = std::min(due, size_t(step * samples_per_second * kStep.count() / 1000));
        std::this_thread::sleep_until(start + step * kStep);
      }
      while (done < due && Clock::now() < deadline) {
        const ssize_t n = ::write(fd, bytes.data() + done, due - done);
        if (n > 0) {
          done += size_t(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          ::close(fd);
          return false;
        } else {
          pollfd waiting{fd, POLLOUT, 0};
          ::poll(&waiting, 1, 50);
        }
      }
    }
    ::close(fd);
    return done == bytes.size();
  }

 private:
  static bool OnPath(const std::string& program) {
    const char* path = ::getenv("PATH");
    if (path == nullptr) return false;
    const std::string rest = path;
    for (size_t start = 0; start <= rest.size();) {
      size_t end = rest.find(':', start);
      if (end == std::string::npos) end = rest.size();
      const std::string dir = rest.substr(start, end - start);
      if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
      start = end + 1;
    }
    return false;
  }

  pid_t pid_ = -1;
  std::string log_;
};

}  // namespace kestrel_test
