#include "sim/simulator.h"

#include <vector>

namespace tavosim {

void Simulator::Transmit(const Bytes& clean, bool isFrame, Bytes& out) {
  last_ = clean;
  const FaultRates& r = faults_.Rates();
  // Lost on the line: nothing goes out, but a NAK from the host still gets it.
  if (faults_.Hit(r.silence)) return;
  if (faults_.Hit(r.garbage)) out.push_back(faults_.StrayByte());
  out.insert(out.end(), clean.begin(), clean.end());
  if (isFrame && faults_.Hit(r.bcc)) out.back() ^= static_cast<std::uint8_t>(0x5A);
}

Bytes Simulator::OnInput(const std::uint8_t* data, std::size_t size, std::int64_t now) {
  Bytes out;
  if (size == 0) return out;
  if (now - lastInputAt_ > kPartialTimeoutMs) parser_.AbandonPartial();
  lastInputAt_ = now;

  std::vector<HostEvent> events;
  for (std::size_t i = 0; i < size; ++i) {
    events.clear();
    parser_.Feed(data[i], events);
    for (HostEvent& ev : events) {
      switch (ev.kind) {
        case HostEvent::Kind::Poll:
          Transmit(ReplyFrame(device_.Poll(now)), true, out);
          break;
        case HostEvent::Kind::Nak:
          device_.eeprom().Count(Eeprom::kSendErrors);
          if (!last_.empty()) {
            const Bytes again = last_;
            Transmit(again, again.size() > 1, out);
          }
          break;
        case HostEvent::Kind::Block:
          Transmit(Bytes{device_.Block(ev.block, now) ? kAck : kNak}, false, out);
          break;
        case HostEvent::Kind::Command: {
          if (!ev.bccOk) {
            device_.eeprom().Count(Eeprom::kReceiveErrors);
            Transmit(Bytes{kNak}, false, out);
            break;
          }
          const FaultRates& r = faults_.Rates();
          if (faults_.Hit(r.nak)) {
            Transmit(Bytes{kNak}, false, out);
            break;
          }
          if (faults_.Hit(r.busy)) {
            std::string echo = ev.text.substr(0, 2);
            echo.resize(2, ' ');
            Transmit(ReplyFrame("A" + echo + "12"), true, out);
            break;
          }
          const DeviceReply reply = device_.Command(ev.text, now);
          if (reply.ack) {
            Transmit(Bytes{kAck}, false, out);
          } else {
            Transmit(ReplyFrame(reply.text), true, out);
          }
          break;
        }
      }
      if (device_.TakeBlockModeCancel()) parser_.Reset();
      if (device_.TakeBlockModeRequest()) parser_.EnterBlockMode();
    }
  }
  return out;
}

bool Simulator::Control(std::string_view line, std::int64_t now, bool* quit, std::string* error) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
    line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  const std::size_t space = line.find(' ');
  const std::string_view word = line.substr(0, space);
  std::string_view arg = space == line.npos ? std::string_view{} : line.substr(space + 1);
  while (!arg.empty() && arg.front() == ' ') arg.remove_prefix(1);

  if (word.empty()) return true;
  if (word == "insert" && arg.empty()) {
    device_.InsertCard(now);
  } else if (word == "remove" && arg.empty()) {
    device_.RemoveCard(now);
  } else if (word == "power" && arg.empty()) {
    device_.PowerUp(now);
    if (device_.TakeBlockModeCancel()) parser_.Reset();
  } else if (word == "state" && arg.size() == 1 && arg[0] >= '0' && arg[0] <= '9') {
    device_.SetStateDigit(arg[0] - '0');
  } else if (word == "fault" && !arg.empty()) {
    FaultRates rates = faults_.Rates();
    if (!ParseFaultSpec(arg, &rates, error)) return false;
    faults_.SetRates(rates);
  } else if (word == "quit" && arg.empty()) {
    *quit = true;
  } else {
    *error = "unknown control input: " + std::string(line);
    return false;
  }
  return true;
}

}  // namespace tavosim
