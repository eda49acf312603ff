// ravlin-testcon: drives one Port control from a shell or a script, one command per line.
//
//   ravlin-testcon [--library PATH] [--script FILE]
//   ravlin-testcon --version | --help
//
// Exit status: 0 when every command succeeded, 1 when any answered "!!" (or the control could not
// be created), 2 for a bad command line.
//
// Commands: get NAME | put NAME VALUE | call NAME [ARG ...] | invoke DISPID get|put|call [ARG ...]
// | pump MS | mode run|design | place NAME KIND | unplace NAME | tell NAME ACTION [ARG ...] | help
// | save FILE | load FILE | dirty | pages | quit. Values: 12, 0x1F, -3, 1.5, true, false, "text"
// (escapes \\ \" \r \n \t \xHH), bytes:3132 (bytes: alone is empty), nothing, - for an omitted
// optional argument, and @NAME for a control on the form. Out-parameters take a placeholder value
// (or - to leave them out).
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "tools/testcon/host.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: ravlin-testcon [--library PATH] [--script FILE] | --version | --help\n");
  return 2;
}

int bad_option(const std::string& what) {
  std::fprintf(stderr, "ravlin-testcon: %s\n", what.c_str());
  return usage();
}

// The version block of the control library the program would load.
int version(const std::string& library) {
  std::string path = library;
  if (path.empty())
    for (const std::string& candidate : win::DefaultServerCandidates())
      if (access(candidate.c_str(), F_OK) == 0) {
        path = candidate;
        break;
      }
  std::printf("ravlin-testcon, the Port control's command-line test container\n");
  void* handle = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!handle) {
    std::printf("control library: none found%s\n", path.empty() ? "" : (" (" + path + ")").c_str());
    return 1;
  }
  auto text = [&](const char* symbol) {
    const char* value = static_cast<const char*>(dlsym(handle, symbol));
    return value ? value : "unknown";
  };
  std::printf("control library: %s\n  %s, file version %s, product version %s\n", path.c_str(),
              text("ravlin_description"), text("ravlin_file_version"),
              text("ravlin_product_version"));
  return 0;
}

void help() {
  std::printf(
      "usage: ravlin-testcon [--library PATH] [--script FILE]\n"
      "Hosts one Port control (run mode, named Port1 on its form) and reads commands.\n");
  const std::string_view summary = testcon::command_summary();
  std::fwrite(summary.data(), 1, summary.size(), stdout);
  std::printf("COM<n> is the device named by RAVLIN_COM<n> (e.g. a pty), else /dev/ttyS<n-1>.\n");
}

void print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string library, script;
  bool showVersion = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--library" || a == "--script") {
      if (i + 1 >= argc) return bad_option(a + " needs a value");
      (a == "--library" ? library : script) = argv[++i];
    } else if (a == "--help" || a == "-h") {
      help();
      return 0;
    } else if (a == "--version") {
      showVersion = true;
    } else {
      return bad_option("unknown option '" + a + "'");
    }
  }
  // A library named on the command line is the one wanted: never fall back to another copy.
  if (!library.empty() && access(library.c_str(), F_OK) != 0)
    return bad_option("--library " + library + ": " + std::strerror(errno));
  if (showVersion) return version(library);
  std::ifstream file;
  if (!script.empty()) {
    file.open(script);
    if (!file) {
      std::fprintf(stderr, "ravlin-testcon: cannot read %s\n", script.c_str());
      return 2;
    }
  }

  win::CoInitializeEx(nullptr, win::COINIT_APARTMENTTHREADED);
  int status = 0;
  {
    testcon::host host(print);
    if (win::FAILED(host.create(library))) {
      status = 1;
    } else if (!script.empty()) {
      std::string line;
      while (std::getline(file, line))
        if (!host.run_line(line)) break;
    } else {
      if (isatty(STDIN_FILENO))
        std::fprintf(stderr,
                     "ravlin-testcon: one Port control on COM1..n; type a command a line "
                     "('help' lists them, 'members' the control's members, 'quit' ends)\n");
      // Standard input: the control's apartment is serviced while the next line is awaited, so
      // events print as they come.
      testcon::line_buffer input;
      std::string line;
      char buf[65536];
      bool running = true;
      while (running) {
        const int fd = STDIN_FILENO;
        win::DWORD w = win::WaitWithDispatch(1, &fd, 0xFFFFFFFF);
        if (w != 0) continue;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
          if (const std::string rest = input.take_rest(); !rest.empty()) host.run_line(rest);
          break;
        }
        input.append(std::string_view(buf, static_cast<std::size_t>(n)));
        while (running && input.next_line(&line)) running = host.run_line(line);
      }
    }
    if (host.failures() > 0) status = 1;
    host.close();
  }
  win::CoUninitialize();
  return status;
}
