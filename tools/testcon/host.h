// The test container's host: one Port control on a form, its sinks, and the execution of parsed
// commands against it through IDispatch. Every command writes exactly one result line
// ("=> VALUE" or "!! 0xHHHHHHHH DESCRIPTION"), preceded by any "out NAME = VALUE" lines;
// events and property-change notifications are written as they arrive. Sibling controls
// (control/sibling_controls.h) can be placed on the same form under a name; what the Port
// control asks of them is written as "sibling NAME: OPERATION(ARGS)", and an argument @NAME
// passes the control of that name (@Port1 the Port control itself).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "control/sibling_controls.h"
#include "platform/com/client_site.h"
#include "tools/testcon/command_line.h"
#include "tools/testcon/sinks.h"

namespace testcon {

class host {
 public:
  explicit host(line_callback out);
  ~host();
  host(const host&) = delete;
  host& operator=(const host&) = delete;

  // Creates the control by CLSID (or from library when not empty), places it on a form in run
  // mode and advises both sinks. Failure is reported as a "!!" line and returned.
  win::HRESULT create(const std::string& library);

  // Runs one input line. False once the line was "quit".
  bool run_line(std::string_view line);

  // Services the control's apartment for ms milliseconds.
  void pump(int ms);

  // Takes the control off its form (closing the port) and releases it.
  void close();

  // How many "!!" result lines have been written so far.
  int failures() const { return failures_; }

 private:
  void run(const command& c);
  // The control's settings to and from a file (its IPersistStreamInit), its dirty flag and its
  // property pages, each with one result line.
  void save(const std::string& path);
  void load(const std::string& path);
  void dirty();
  void pages();
  void invoke(win::DISPID dispid, win::WORD flags, const std::vector<arg_value>& args);
  void place(const command& c);
  void unplace(const command& c);
  void tell(const command& c);
  // The control placed under name (the Port control is "Port1"), or null.
  win::IDispatch* placed(const std::string& name);
  void fail(win::HRESULT hr, std::u16string_view description);
  void fail(win::HRESULT hr, const std::string& description);

  line_callback out_;
  int failures_ = 0;
  win::ComPtr<win::IDispatch> control_;
  win::ComPtr<win::Form> form_;
  win::ComPtr<winhost::EventSink> events_;
  win::ComPtr<winhost::NotifySink> notify_;
  std::map<std::string, win::ComPtr<ravlin::SiblingControl>> siblings_;
};

}  // namespace testcon
