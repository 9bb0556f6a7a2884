#include "platform/linux/x11/XdgOpen.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <thread>

extern char** environ;

namespace wrenly {

namespace {

bool isSafeArgument(const std::string& url) {
  if (url.empty() || url.front() == '-') return false;  // xdg-open would read it as an option
  return std::none_of(url.begin(), url.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attributes{};
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

bool openWithXdgOpen(const std::string& url) {
  if (!isSafeArgument(url)) return false;
  SpawnSetup setup;
  for (int fd : {0, 1, 2}) {
    posix_spawn_file_actions_addopen(&setup.actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                     0);
  }
  // Its own session, so the browser it may start outlives neither a terminal nor our signals.
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID);
  std::string program = "xdg-open";
  std::string argument = url;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, "xdg-open", &setup.actions, &setup.attributes, argv, environ) != 0) {
    return false;
  }
  // xdg-open may wait for the handler it starts; reap it without making the caller wait.
  std::thread([child] {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace wrenly
