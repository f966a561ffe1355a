// A table of named text values and the interpolation of "<Name>" references in command lines and texts.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace zavro {

class AdminPrefs;
class DialRules;
class POP;
class UserPrefs;

// Macro names are case-sensitive. Reading an unknown macro gives "".
//
// Not thread-safe: a table belongs to one thread at a time.
class ZavroMacros {
 public:
  using Dictionary = std::map<std::string, std::string>;

  // Where the standard macros come from; null members are the process-wide objects.
  struct Sources {
    std::shared_ptr<UserPrefs> user;
    std::shared_ptr<const AdminPrefs> admin;
    std::shared_ptr<const DialRules> rules;
  };

  // An empty table.
  ZavroMacros() = default;
  explicit ZavroMacros(Dictionary values) : mMacroValues(std::move(values)) {}
  ZavroMacros(const ZavroMacros&) = default;
  ZavroMacros& operator=(const ZavroMacros&) = default;

  // The creation macros (ToolPath, Version, CustomerID, ProfileID, PhonebookID), then a standard refresh
  // without a POP.
  static std::shared_ptr<ZavroMacros> standardMacros(Sources sources = {});

  // User, VPN and language macros; with a POP also UserPassword (and, when the administrator wants the same
  // login for the VPN, the user's login copied into the VPN settings first). Then the POP refresh and the
  // temporal refresh.
  void refreshStandardMacrosWithPOP(const POP* pop, std::uint32_t accessType,
                                    const std::optional<std::string>& dialString);
  // The POP's own macros and the dial string macros ("PopID" is "user" when the dial string given for a
  // dial-up access type differs from the one the dialing rules make). Nothing without a POP.
  void refreshMacrosWithPOP(const POP* pop, std::uint32_t accessType, const std::optional<std::string>& dialString);
  // The last error and disconnect codes of the SQM record.
  void refreshTemporalMacros();

  std::string valueForMacro(const std::string& name) const;
  // A null value leaves the macro as it was.
  void setValue(const std::optional<std::string>& value, const std::string& name);

  // Replaces every "<Name>" by the macro's value, scanning left to right; an inserted value is never scanned
  // again. The name is trimmed of white space; an empty or unknown name gives "". Scanning stops for good
  // at a "<" without a later ">", or where the next ">" comes before the next "<".
  std::string interpolate(const std::string& text) const;

  const Dictionary& dictionary() const { return mMacroValues; }
  void setSources(Sources sources) { mSources = std::move(sources); }

 private:
  std::shared_ptr<UserPrefs> user() const;
  std::shared_ptr<const AdminPrefs> admin() const;
  std::shared_ptr<const DialRules> rules() const;

  Dictionary mMacroValues;
  Sources mSources;
};

}  // namespace zavro
