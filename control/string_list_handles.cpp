// The process-wide table of string-list handles.
#include "control/string_list_handles.h"

#include <map>
#include <mutex>

namespace ravlin {

namespace {

struct table {
  std::mutex lock;
  std::map<win::UINT, std::shared_ptr<const string_list_sink>> sinks;
  win::UINT next = 0;
};

table& Table() {
  static table* t = new table;  // outlives every static that may still unregister at exit
  return *t;
}

}  // namespace

win::UINT RegisterStringList(string_list_sink sink) {
  if (!sink.clear || !sink.add) return 0;
  auto shared = std::make_shared<const string_list_sink>(std::move(sink));
  table& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  // Wrapping around would take four billion registrations; a handle still in use is skipped.
  do {
    ++t.next;
  } while (t.next == 0 || t.sinks.count(t.next) != 0);
  t.sinks.emplace(t.next, std::move(shared));
  return t.next;
}

void UnregisterStringList(win::UINT handle) {
  table& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  t.sinks.erase(handle);
}

std::shared_ptr<const string_list_sink> StringListFor(win::UINT handle) {
  table& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.sinks.find(handle);
  return it == t.sinks.end() ? nullptr : it->second;
}

}  // namespace ravlin
