// An INI file's text as lines, with lookups and in-place edits (internal to platform/profile).
//
// The document keeps the file's bytes and only knows, per line, where its section name, key and
// value sit. Edits splice the text and parse it again, so everything not edited stays byte for
// byte as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win::profile_detail {

// Whether two section or key names are the same: ASCII letters without regard to case,
// double-byte characters of the ANSI code page byte for byte.
bool SameName(std::string_view a, std::string_view b);

// Space, tab, CR, VT, FF and Ctrl-Z (an old end-of-file mark): ignored around names and values.
bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view s);

class IniDocument {
 public:
  explicit IniDocument(std::string text = {});

  const std::string& text() const { return text_; }

  // Section names in file order, each once.
  std::vector<std::string_view> SectionNames() const;
  bool HasSection(std::string_view section) const { return FindSection(section) >= 0; }
  // Key names of the section in file order, each once (empty when there is no such section).
  std::vector<std::string_view> KeyNames(std::string_view section) const;
  // The value without surrounding blanks and quotes; nullopt when section or key is missing.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  void DeleteKey(std::string_view section, std::string_view key);
  void DeleteSection(std::string_view section);

 private:
  enum class Kind { kOther, kSection, kKey };
  struct Line {
    std::size_t begin = 0;  // content, without the line end
    std::size_t end = 0;
    std::size_t breakLength = 0;  // 0 (last line without line end), 1 (LF) or 2 (CR LF)
    Kind kind = Kind::kOther;
    std::size_t nameBegin = 0;  // section name or key
    std::size_t nameEnd = 0;
    std::size_t valueBegin = 0;  // value, after "=" and blanks
    std::size_t valueEnd = 0;
    bool blank = false;  // nothing but blanks
  };

  void Parse();
  void Classify(Line& line, bool firstLine) const;
  std::string_view Name(const Line& line) const;
  int FindSection(std::string_view section) const;   // first header line, or -1
  std::size_t SectionEnd(std::size_t header) const;  // the next header line, or lines_.size()
  int FindKey(std::size_t header, std::string_view key) const;  // first key line, or -1
  std::size_t LineEnd(std::size_t index) const;                 // offset after the line's line end

  std::string text_;
  std::vector<Line> lines_;
  std::string newline_;  // what new lines end with
};

}  // namespace win::profile_detail
