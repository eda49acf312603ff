#include "platform/profile/ini_document.h"

#include <algorithm>
#include <cstring>

#include "platform/text/codepage.h"

namespace win::profile_detail {

namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool IsLead(char c) {
  return IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE;
}

bool Contains(const std::vector<std::string_view>& names, std::string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](std::string_view n) { return SameName(n, name); });
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (IsLead(a[i]) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
  }
  return true;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

IniDocument::IniDocument(std::string text) : text_(std::move(text)) {
  Parse();
  // New lines follow the file's first line end; a new file gets the platform's CR LF.
  std::size_t lf = text_.find('\n');
  newline_ = (lf != std::string::npos && (lf == 0 || text_[lf - 1] != '\r')) ? "\n" : "\r\n";
}

void IniDocument::Parse() {
  lines_.clear();
  std::size_t pos = 0;
  while (pos < text_.size()) {
    Line line;
    line.begin = pos;
    std::size_t lf = text_.find('\n', pos);
    if (lf == std::string::npos) {
      line.end = text_.size();
      pos = text_.size();
    } else {
      line.end = lf;
      line.breakLength = 1;
      if (lf > line.begin && text_[lf - 1] == '\r') {
        line.end = lf - 1;
        line.breakLength = 2;
      }
      pos = lf + 1;
    }
    Classify(line, lines_.empty());
    lines_.push_back(line);
  }
}

void IniDocument::Classify(Line& line, bool firstLine) const {
  const char* base = text_.data();
  std::size_t p = line.begin;
  std::size_t e = line.end;
  // Whatever follows a NUL on the line is not read.
  if (const void* nul = std::memchr(base + p, '\0', e - p))
    e = static_cast<const char*>(nul) - base;
  if (firstLine && e - p >= 3 && std::memcmp(base + p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  while (p < e && IsBlank(base[p])) ++p;
  line.blank = p == e;
  if (p == e || base[p] == ';') return;

  if (base[p] == '[') {
    std::size_t q = p + 1;
    while (q < e && base[q] != ']') q += (IsLead(base[q]) && q + 1 < e) ? 2 : 1;
    if (q >= e) return;  // no closing bracket: not a header
    std::string_view name = TrimBlanks(std::string_view(base + p + 1, q - p - 1));
    line.kind = Kind::kSection;
    line.nameBegin = name.data() - base;
    line.nameEnd = line.nameBegin + name.size();
    return;
  }

  const void* eq = std::memchr(base + p, '=', e - p);
  if (eq == nullptr) return;
  std::size_t equals = static_cast<const char*>(eq) - base;
  std::string_view key = TrimBlanks(std::string_view(base + p, equals - p));
  if (key.empty()) return;
  line.kind = Kind::kKey;
  line.nameBegin = key.data() - base;
  line.nameEnd = line.nameBegin + key.size();
  std::size_t v = equals + 1;
  while (v < e && IsBlank(base[v])) ++v;
  std::size_t ve = e;
  while (ve > v && IsBlank(base[ve - 1])) --ve;
  line.valueBegin = v;
  line.valueEnd = ve;
}

std::string_view IniDocument::Name(const Line& line) const {
  return std::string_view(text_).substr(line.nameBegin, line.nameEnd - line.nameBegin);
}

int IniDocument::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::kSection && SameName(Name(lines_[i]), section))
      return static_cast<int>(i);
  }
  return -1;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Kind::kSection) ++i;
  return i;
}

int IniDocument::FindKey(std::size_t header, std::string_view key) const {
  for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
    if (lines_[i].kind == Kind::kKey && SameName(Name(lines_[i]), key)) return static_cast<int>(i);
  }
  return -1;
}

std::size_t IniDocument::LineEnd(std::size_t index) const {
  return lines_[index].end + lines_[index].breakLength;
}

std::vector<std::string_view> IniDocument::SectionNames() const {
  std::vector<std::string_view> names;
  for (const Line& line : lines_) {
    if (line.kind == Kind::kSection && !Contains(names, Name(line))) names.push_back(Name(line));
  }
  return names;
}

std::vector<std::string_view> IniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string_view> names;
  int header = FindSection(section);
  if (header < 0) return names;
  for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
    if (lines_[i].kind == Kind::kKey && !Contains(names, Name(lines_[i])))
      names.push_back(Name(lines_[i]));
  }
  return names;
}

std::optional<std::string_view> IniDocument::Value(std::string_view section,
                                                   std::string_view key) const {
  int header = FindSection(section);
  if (header < 0) return std::nullopt;
  int k = FindKey(header, key);
  if (k < 0) return std::nullopt;
  const Line& line = lines_[k];
  std::string_view value =
      std::string_view(text_).substr(line.valueBegin, line.valueEnd - line.valueBegin);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

void IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  std::string keyLine;
  keyLine.append(key).append("=").append(value);

  int header = FindSection(section);
  if (header < 0) {
    std::string added;
    if (!lines_.empty()) {
      if (lines_.back().breakLength == 0) added += newline_;
      if (!lines_.back().blank) added += newline_;  // an empty line before the new section
    }
    added.append("[").append(section).append("]").append(newline_);
    added.append(keyLine).append(newline_);
    text_ += added;
  } else if (int k = FindKey(header, key); k >= 0) {
    // Replace the value only: the key's spelling, indentation and blanks around "=" stay.
    const Line& line = lines_[k];
    text_.replace(line.valueBegin, line.end - line.valueBegin, value);
  } else {
    // After the section's last key line, so that blank lines and comments that lead into the
    // next section stay in front of it.
    std::size_t last = header;
    for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
      if (lines_[i].kind == Kind::kKey) last = i;
    }
    std::string inserted;
    if (lines_[last].breakLength == 0) inserted += newline_;
    inserted.append(keyLine).append(newline_);
    text_.insert(LineEnd(last), inserted);
  }
  Parse();
}

void IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  int header = FindSection(section);
  if (header < 0) return;
  for (std::size_t i = SectionEnd(header); i-- > static_cast<std::size_t>(header) + 1;) {
    if (lines_[i].kind == Kind::kKey && SameName(Name(lines_[i]), key))
      text_.erase(lines_[i].begin, LineEnd(i) - lines_[i].begin);
  }
  Parse();
}

void IniDocument::DeleteSection(std::string_view section) {
  for (std::size_t i = lines_.size(); i-- > 0;) {
    if (lines_[i].kind != Kind::kSection || !SameName(Name(lines_[i]), section)) continue;
    std::size_t end = SectionEnd(i);
    std::size_t stop = end < lines_.size() ? lines_[end].begin : text_.size();
    text_.erase(lines_[i].begin, stop - lines_[i].begin);
  }
  Parse();
}

}  // namespace win::profile_detail
