#include "sim/options.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "sim/eeprom.h"

namespace tavosim {

const char kUsage[] =
    "usage: tavosim [options]\n"
    "Plays the card reader/writer/printer on a pseudo-terminal. The first line on standard\n"
    "output is \"pty /dev/pts/N\"; standard input takes control words, one per line:\n"
    "insert, remove, power, state DIGIT, fault SPEC, quit.\n"
    "  --baud N          pace output at N bit/s, 10 bits a byte (11 with parity); 0: at once\n"
    "                    (default 9600)\n"
    "  --parity P        none, even, odd, mark or space: the line's parity, for the pacing\n"
    "                    (a pseudo-terminal does not pass on the host's setting)\n"
    "  --speed X         scale of the command execution times; 0: at once (default 1)\n"
    "  --insert-ms N     a waiting CI gets a card after N ms; -1: only on `insert` (default 500)\n"
    "  --remove-ms N     a card at the exit is taken after N ms; -1: only on `remove`\n"
    "                    (default 1000)\n"
    "  --print-dir DIR   write every print as DIR/card-NNNN.png and .txt\n"
    "  --eeprom FILE     load the EEPROM from FILE and save it back at the end\n"
    "  --fault SPEC      fault rates 0..1: nak=R,bcc=R,silence=R,garbage=R,busy=R\n"
    "  --seed N          seed of the fault generator (default 1)\n"
    "  --link PATH       make PATH a symbolic link to the pty\n"
    "  --trace FILE      timestamped hex trace of both directions\n"
    "  --help            this text\n";

namespace {

bool ToLong(const std::string& s, long min, long max, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (errno || *end || v < min || v > max) return false;
  *out = v;
  return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* o, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != name.npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (name == "--help" || name == "-h") {
      o->help = true;
      continue;
    }
    static const char* const kWithValue[] = {
        "--baud",   "--parity", "--speed", "--insert-ms", "--remove-ms", "--print-dir",
        "--eeprom", "--fault",  "--seed",  "--link",      "--trace"};
    bool known = false;
    for (const char* k : kWithValue) known = known || name == k;
    if (!known) {
      *error = "unknown option " + args[i];
      return false;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    long n = 0;
    bool ok = true;
    if (name == "--baud") {
      ok = ToLong(value, 0, 4000000, &o->baud);
    } else if (name == "--parity") {
      ok = value == "none" || value == "even" || value == "odd" || value == "mark" ||
           value == "space";
      o->parity = value != "none";
    } else if (name == "--speed") {
      char* end = nullptr;
      const double v = std::strtod(value.c_str(), &end);
      ok = !value.empty() && !*end && v >= 0 && v <= 1000;
      if (ok) o->device.speed = v;
    } else if (name == "--insert-ms") {
      ok = ToLong(value, -1, 3600000, &n);
      o->device.insertMs = static_cast<int>(n);
    } else if (name == "--remove-ms") {
      ok = ToLong(value, -1, 3600000, &n);
      o->device.removeMs = static_cast<int>(n);
    } else if (name == "--print-dir") {
      o->device.printDir = value;
      ok = !value.empty();
    } else if (name == "--eeprom") {
      o->eeprom = value;
      ok = !value.empty();
      // A missing file is fine (the factory image is used); anything but a regular file is not.
      struct stat st;
      if (ok && ::stat(value.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = "bad value for --eeprom: " + value + ": " + FileTypeProblem(st.st_mode);
        return false;
      }
    } else if (name == "--fault") {
      if (!ParseFaultSpec(value, &o->faults, error)) return false;
    } else if (name == "--seed") {
      ok = ToLong(value, 0, 0xFFFFFFFFL, &n);
      o->seed = static_cast<std::uint32_t>(n);
    } else if (name == "--link") {
      o->link = value;
      ok = !value.empty();
    } else if (name == "--trace") {
      o->trace = value;
      ok = !value.empty();
    }
    if (!ok) {
      *error = "bad value for " + name + ": " + value;
      return false;
    }
  }
  return true;
}

}  // namespace tavosim
