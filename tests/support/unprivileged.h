#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace kestrel_test {

// The uid and gid a root test drops to: "nobody" on Debian.
inline constexpr uid_t kUnprivilegedId = 65534;

// Runs `check` as a user whose file modes count (root ignores them): in this process when it
// is not root, else in a child that drops to kUnprivilegedId first. The check answers "" when
// all was as expected, else what was not. None when no such user can be had (the caller then
// skips); the folders the check uses must be open to that user.
inline std::optional<std::string> RunUnprivileged(const std::function<std::string()>& check) {
  if (::geteuid() != 0) return check();
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::close(pipe_ends[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
        ::setuid(kUnprivilegedId) != 0) {
      ::_exit(3);
    }
    const std::string failure = check();
    const bool sent =
        ::write(pipe_ends[1], failure.data(), failure.size()) == ssize_t(failure.size());
    ::_exit(sent ? 0 : 4);
  }
  ::close(pipe_ends[1]);
  std::string failure;
  char buffer[512];
  for (ssize_t got; (got = ::read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0) break;
    failure.append(buffer, size_t(got));
  }
  ::close(pipe_ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 3) return std::nullopt;
  if (WEXITSTATUS(status) != 0) return "the check's child failed to report";
  return failure;
}

}  // namespace kestrel_test
