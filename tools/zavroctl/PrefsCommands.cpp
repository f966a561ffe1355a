// zavroctl prefs: list, get, set and unset values of the user's preferences (never the passwords).
#include <cctype>
#include <cstdio>
#include <map>
#include <ostream>

#include "Command.h"
#include "settings/UserPrefs.h"

namespace zavro::ctl {

namespace {

// Passwords (the login's legacy copy, the VPN's) stay out of sight and out of reach.
bool isSecretKey(const std::string& key) {
  return key == ZavroKeyPassword;
}

bool needsQuotes(const std::string& s) {
  if (s.empty()) {
    return true;
  }
  for (unsigned char c : s) {
    if (!(std::isalnum(c) || c == '_' || c == '.' || c == '-' || c == '/' || c == ':' || c == '@' || c == '+' ||
          c == '*' || c == '#' || c >= 0x80)) {
      return true;
    }
  }
  return false;
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

// Strings as they stand (quoted only inside lists and maps, or when they would not read back on one
// line); lists as ( a, b ), maps as { key = value; }, data as <hex>.
std::string render(const PropertyList& value, bool nested) {
  if (const std::string* s = value.string()) {
    return nested ? (needsQuotes(*s) ? quoted(*s) : *s)
                  : (s->find_first_of("\n\r\t") != std::string::npos ? quoted(*s) : *s);
  }
  if (const auto* array = value.array()) {
    std::string out = "(";
    for (size_t i = 0; i < array->size(); ++i) {
      out += (i ? ", " : " ") + render((*array)[i], true);
    }
    return out + (array->empty() ? ")" : " )");
  }
  if (const auto* dict = value.dictionary()) {
    std::string out = "{";
    for (const auto& [key, member] : *dict) {
      out += " " + (needsQuotes(key) ? quoted(key) : key) + " = " + render(member, true) + ";";
    }
    return out + (dict->empty() ? "}" : " }");
  }
  if (const std::string* data = value.dataBytes()) {
    std::string out = "<";
    char hex[3];
    for (unsigned char c : *data) {
      std::snprintf(hex, sizeof hex, "%02x", c);
      out += hex;
    }
    return out + ">";
  }
  if (auto i = value.integerValue()) {
    return std::to_string(*i);
  }
  if (auto b = value.booleanValue()) {
    return *b ? "true" : "false";
  }
  if (auto r = value.realValue()) {
    return std::to_string(*r);
  }
  return {};
}

// What the app reads for a section: the registered defaults with the user's own values over them.
Preferences::Dictionary effectiveSection(const UserPrefs& prefs, const std::string& section) {
  Preferences::Dictionary merged;
  if (auto defaults = prefs.defaultDictionaryForSection(section)) {
    merged = *defaults;
  }
  if (auto user = prefs.dictionaryForSection(section)) {
    for (const auto& [key, value] : *user) {
      merged[key] = value;
    }
  }
  merged.erase(Preferences::kSectionMarker);
  return merged;
}

const char* kSections[] = {ZavroSecConnect,      ZavroSecPrefix,     ZavroSecLogin,   ZavroSecVPN,   ZavroSecActions,
                           ZavroSecCallingCards, ZavroSecBookmarks,  ZavroSecGeneral, ZavroSecModem, ZavroSecPhs,
                           ZavroSecISDN,         ZavroSecBBWireless, ZavroSecBBWired, ZavroSecMain,  ZavroSecTest};

int runList(CommandContext& ctx, UserPrefs& prefs) {
  if (ctx.args.size() > 2) {
    return usageError(ctx.err, "usage: zavroctl prefs list [SECTION]");
  }
  if (ctx.args.size() == 2) {
    for (const auto& [key, value] : effectiveSection(prefs, ctx.args[1])) {
      if (!isSecretKey(key)) {
        ctx.out << key << '\t' << render(value, false) << '\n';
      }
    }
    return kExitOK;
  }
  // Every section the program knows, plus any other the domain holds.
  std::map<std::string, bool> sections;
  for (const char* s : kSections) {
    sections[s] = true;
  }
  for (const auto& [name, value] : prefs.persistentDomain()->persistentDomain()) {
    if (value.find(Preferences::kSectionMarker) != nullptr) {
      sections[name] = true;
    }
  }
  for (const auto& [section, unused] : sections) {
    for (const auto& [key, value] : effectiveSection(prefs, section)) {
      if (!isSecretKey(key)) {
        ctx.out << section << '\t' << key << '\t' << render(value, false) << '\n';
      }
    }
  }
  return kExitOK;
}

int runPrefs(CommandContext& ctx) {
  const std::string usage =
      "usage: zavroctl prefs list [SECTION] | get SECTION KEY | set SECTION KEY VALUE | unset SECTION KEY";
  if (ctx.args.empty()) {
    return usageError(ctx.err, usage);
  }
  const std::string& verb = ctx.args[0];
  const size_t wanted = verb == "get" || verb == "unset" ? 3 : verb == "set" ? 4 : 0;
  if (verb != "list" && ctx.args.size() != wanted) {
    return usageError(ctx.err, usage);
  }
  if (wanted != 0 && isSecretKey(ctx.args[2])) {
    return usageError(ctx.err, "prefs: passwords are not shown or changed here");
  }
  auto prefs = UserPrefs::userPrefs();
  if (verb == "list") {
    return runList(ctx, *prefs);
  }
  const std::string& section = ctx.args[1];
  const std::string& key = ctx.args[2];
  if (verb == "get") {
    auto value = prefs->objectForKey(key, section);
    if (!value) {
      ctx.err << "zavroctl: prefs: " << section << " " << key << " is not set\n";
      return 1;
    }
    ctx.out << render(*value, false) << '\n';
    return kExitOK;
  }
  if (verb == "set") {
    prefs->setObject(PropertyList(ctx.args[3]), key, section);
  } else {
    prefs->removeObjectForKey(key, section);
  }
  if (!prefs->synchronize()) {
    ctx.err << "zavroctl: prefs: cannot write " << prefs->persistentDomain()->path() << "\n";
    return 1;
  }
  return kExitOK;
}

const CommandRegistrar registrar({
    {"prefs", "prefs list [SECTION] | get SECTION KEY | set SECTION KEY VALUE | unset SECTION KEY", runPrefs},
});

}  // namespace

}  // namespace zavro::ctl
