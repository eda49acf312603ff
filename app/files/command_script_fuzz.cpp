// libFuzzer target: command files from arbitrary bytes, read and run under the checking host of
// script_fuzz_body.h. A broken check prints what went wrong and aborts, so libFuzzer keeps the
// input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/files/script_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string finding = tavo::checkScriptRun(data, size).finding;
  if (!finding.empty()) {
    std::fprintf(stderr, "command_script_fuzz: %s\n", finding.c_str());
    std::abort();
  }
  return 0;
}
