#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace kestrel_test {

struct RunResult {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
  std::vector<std::string> lines;  // of out
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a program to its end with the arguments given; its output goes through files in
// `scratch` (a directory).
inline RunResult RunProgram(const std::string& program, std::vector<std::string> args,
                            const std::string& scratch) {
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string out = scratch + "/stdout", err = scratch + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  RunResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = ReadText(out);
  result.err = ReadText(err);
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) result.lines.push_back(line);
  return result;
}

}  // namespace kestrel_test
