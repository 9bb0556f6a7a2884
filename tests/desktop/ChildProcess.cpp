#include "ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace wrenly {

ChildProcess::ChildProcess(std::vector<std::string> argv) {
  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  std::vector<char*> args;
  for (auto& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const int failed = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  input_ = toChild[1];
  output_ = fromChild[0];
  if (failed) throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
  close(input_);
  close(output_);
  kill(pid_, SIGCONT);
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

std::string ChildProcess::exchange(const std::string& line) {
  std::string sent = line + "\n";
  if (write(input_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return "";
  return readLine();
}

std::string ChildProcess::readLine() {
  for (;;) {
    if (auto end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    char buffer[256];
    const ssize_t count = read(output_, buffer, sizeof buffer);
    if (count <= 0) return "";
    pending_.append(buffer, static_cast<size_t>(count));
  }
}

}  // namespace wrenly
