#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/run_program.h"

extern char** environ;

namespace kestrel_test {

// A program running in the background with its output in files; killed if still running at
// the end.
class Child {
 public:
  Child(const std::string& program, std::vector<std::string> args,
        const std::vector<std::string>& environment, const std::string& scratch) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = environment;
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    static int children = 0;
    const std::string stem = scratch + "/child" + std::to_string(++children);
    out_ = stem + ".out";
    err_ = stem + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = 0;
    return false;
  }
  // Sends a signal to the running program; false when it is not running.
  bool Signal(int number) { return pid_ > 0 && kill(pid_, number) == 0; }
  // Sends SIGTERM and waits up to `limit` for the exit; the exit status, -1 for none.
  int Terminate(std::chrono::seconds limit) {
    if (pid_ <= 0) return status_;
    kill(pid_, SIGTERM);
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end;) {
      if (!Running()) return status_;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }
  std::string Errors() const { return ReadText(err_); }
  std::string Output() const { return ReadText(out_); }

 private:
  pid_t pid_ = 0;
  int status_ = -1;
  std::string out_, err_;
};

// `base` (this process's environment by default) with its own configuration directory and no
// screen.
inline std::vector<std::string> Environment(const std::string& config_home,
                                            std::vector<std::string> base = {}) {
  if (base.empty()) {
    for (char** entry = environ; *entry != nullptr; ++entry) base.emplace_back(*entry);
  }
  std::vector<std::string> env;
  for (const std::string& text : base) {
    if (!text.starts_with("XDG_CONFIG_HOME=") && !text.starts_with("QT_QPA_PLATFORM="))
      env.push_back(text);
  }
  env.push_back("XDG_CONFIG_HOME=" + config_home);
  env.push_back("QT_QPA_PLATFORM=offscreen");
  return env;
}

// Waits until `done` holds, up to `limit`.
inline bool WaitFor(std::chrono::seconds limit, const std::function<bool()>& done) {
  for (auto end = std::chrono::steady_clock::now() + limit;
       std::chrono::steady_clock::now() < end;) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

}  // namespace kestrel_test
