// For the benchmarks that run the programs: start one with its output where the benchmark wants
// it, stop it, wait for the file a program makes when it is ready.
//
// Offers: spawn, stop, waitFor.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// Starts args[0] with env entries ("NAME=VALUE") added, standard input from /dev/null, standard
// output and error into the descriptors given (-1: /dev/null). Returns the child's pid (-1 when
// fork failed; a failed exec ends the child with status 127).
inline pid_t spawn(const std::vector<std::string>& args, int stdoutFd, int stderrFd,
                   const std::vector<std::string>& env) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(stdoutFd >= 0 ? stdoutFd : devnull, 1);
    dup2(stderrFd >= 0 ? stderrFd : devnull, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// SIGTERM, then waits for the child's end.
inline void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// Whether path exists within ms milliseconds.
inline bool waitFor(const std::string& path, int ms) {
  for (int i = 0; i < ms / 10; ++i) {
    if (access(path.c_str(), F_OK) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace bench
