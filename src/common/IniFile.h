// Reader of INI files (config.ini, raspref.ini, downloaded configuration), plain or scrambled.
//
// Section names and keys are held upper-cased, so every lookup ignores case; values keep their bytes
// and are interpreted only by the typed getters, each of which answers a default for a missing key.
// Loading never fails visibly: a missing or unreadable file gives an empty reader.
//
// Threads: none of its own. Once loaded, a reader may be read from several threads as long as
// nobody loads into it at the same time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zavro {

class IniFile {
 public:
  using Section = std::map<std::string, std::string>;  // upper-case key → value
  using Sections = std::map<std::string, Section>;     // upper-case name → section

  IniFile() = default;

  // The reader is returned even when the file cannot be read (it is then empty).
  static std::shared_ptr<IniFile> fileWithPath(const std::string& path);
  // file:// URLs and plain paths; other schemes read as a missing file.
  static std::shared_ptr<IniFile> fileWithURL(const std::string& url);

  // Read through the scrambled-file reader (scrambled content is descrambled, plain content kept).
  void loadWithPath(const std::string& path);
  void loadWithURL(const std::string& url);
  // Replaces the whole content. nullopt (a missing file) leaves the reader without any section,
  // not even the unnamed one; any bytes, even empty, give at least the unnamed section "".
  void loadWithData(std::optional<std::string_view> bytes);

  // Spaces and tabs removed at both ends, nothing else.
  static std::string stringTrimmed(std::string_view s);

  const Sections& getDictionary() const { return mSections; }

  // A key is looked up only in its own section (no fallback to the unnamed one).
  std::optional<std::string> getValueForAttribute(std::string_view key, std::string_view section) const;
  std::optional<std::string> getValueForAttribute(std::string_view key, std::string_view section,
                                                  std::optional<std::string> defaultValue) const;
  std::string getValueAsStringForAttribute(std::string_view key, std::string_view section) const;
  std::string getValueAsStringForAttribute(std::string_view key, std::string_view section,
                                           std::string_view defaultValue) const;

  // Missing or empty: the default. A leading digit: the integer value is not 0. Otherwise a value
  // that does not start with a letter, or a word other than yes/no/true/false (any case): the default.
  bool getValueAsBoolForAttribute(std::string_view key, std::string_view section, bool defaultValue = false) const;

  // Present: the decimal integer at the start of the value (blanks skipped, optional sign, clamped
  // to the 32-bit range), 0 when it does not start with a number, even for the empty value.
  // Missing: the default.
  int32_t getValueAsIntForAttribute(std::string_view key, std::string_view section, int32_t defaultValue = 0) const;

  // Present: the hexadecimal number at the start (blanks skipped, optional 0x/0X; above the 32-bit
  // range gives 0xFFFFFFFF). Missing, or no hexadecimal digit: the default.
  uint32_t getValueAsHexIntForAttribute(std::string_view key, std::string_view section,
                                        uint32_t defaultValue = 0) const;

  // Present: the floating-point number at the start (0 when none). Missing: the default.
  double getValueAsDoubleForAttribute(std::string_view key, std::string_view section, double defaultValue = 0) const;

  // The value (or, when missing, the default text) split as a comma-separated list with quotes
  // honoured, each element trimmed of spaces and tabs; nullopt when both are missing.
  std::optional<std::vector<std::string>> getValueAsCSVArrayForAttribute(
      std::string_view key, std::string_view section, std::optional<std::string_view> defaultValue) const;
  // A missing key gives an empty list.
  std::vector<std::string> getValueAsCSVArrayForAttribute(std::string_view key, std::string_view section) const;

  // Element `index` of the key's list as an integer (as getValueAsIntForAttribute), or the default
  // when the list is shorter (a missing key is an empty list).
  int32_t getCSVEntryAsIntForAttribute(std::string_view key, unsigned index, std::string_view section,
                                       int32_t defaultValue = 0) const;

  // A numbered key family: `pattern` holds one integer placeholder ("PhonebookURL%d"). Keys are
  // formed for n = start, start + 1, ... below 256, stopping at the first missing one, so only a
  // contiguous run counts. A present empty value counts as present.
  std::vector<std::string> getValueAsArrayForAttributeSet(std::string_view pattern, int startNumber,
                                                          std::string_view section) const;
  std::vector<std::string> getValueAsArrayForAttributeSet(std::string_view pattern, std::string_view section) const {
    return getValueAsArrayForAttributeSet(pattern, 1, section);
  }
  std::vector<std::vector<std::string>> getValueAsCSVArrayForAttributeSet(std::string_view pattern, int startNumber,
                                                                          std::string_view section) const;
  std::vector<std::vector<std::string>> getValueAsCSVArrayForAttributeSet(std::string_view pattern,
                                                                          std::string_view section) const {
    return getValueAsCSVArrayForAttributeSet(pattern, 1, section);
  }

  // Helpers shared with other readers of the same value syntax.
  static int32_t intValue(std::string_view value);
  static std::optional<uint32_t> hexValue(std::string_view value);
  static double doubleValue(std::string_view value);
  static std::vector<std::string> csvList(std::string_view value);
  // The pattern with its first integer conversion (%d, %i or %u, with optional flags and width)
  // replaced by `n` and "%%" by "%"; any other "%" stays as it is. Never reads varargs.
  static std::string formatNumbered(std::string_view pattern, int n);

 private:
  const std::string* find(std::string_view key, std::string_view section) const;

  Sections mSections;
};

}  // namespace zavro
