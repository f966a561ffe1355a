// zavroctl phonebook commands: pops, countries, regions, cities and pop.
#include <cstdio>
#include <ostream>

#include "Command.h"
#include "phonebook/PhoneBook.h"

namespace zavro::ctl {

namespace {

std::shared_ptr<PhoneBook> loadMaster(const GlobalOptions& global) {
  auto book = PhoneBook::create();
  book->load(global.pluginCodes);
  return book;
}

// Tabs inside a value would shift the columns of the line.
std::string tabSafe(std::string value) {
  for (char& c : value) {
    if (c == '\t') {
      c = ' ';
    }
  }
  return value;
}

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t utf8Sequence(const std::string& s, size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  size_t n;
  uint32_t cp;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    cp = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) {
    return 0;
  }
  for (size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) {
      return 0;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
    return 0;
  }
  return n;
}

// A JSON string. Phonebook text is bytes: valid UTF-8 passes through, any other byte is taken as
// the Latin-1 character of the same number.
std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
      ++i;
    } else if (b < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", b);
      out += buf;
      ++i;
    } else if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
    } else if (size_t n = utf8Sequence(s, i)) {
      out.append(s, i, n);
      i += n;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
      ++i;
    }
  }
  out += '"';
  return out;
}

std::optional<int> sortFieldFor(const std::string& key) {
  if (key == "city") {
    return 2;
  }
  if (key == "phone") {
    return 4;
  }
  if (key == "speed") {
    return 15;
  }
  if (key == "rate") {
    return 14;
  }
  if (key == "location") {
    return 31;
  }
  if (key.empty() || key.size() > 4 || key.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(key);
}

int runPops(CommandContext& ctx) {
  uint32_t mask = kAccessAll;
  std::optional<std::string> country, region, city, areaCode;
  std::optional<int> sortField;
  bool descending = false;
  bool json = false;
  const auto& args = ctx.args;
  for (size_t i = 0; i < args.size();) {
    std::string error;
    if (args[i] == "--descending") {
      descending = true;
      ++i;
    } else if (args[i] == "--json") {
      json = true;
      ++i;
    } else if (auto v = optionValue(args, i, "--access", error)) {
      auto parsed = parseMask(*v);
      if (!parsed) {
        return usageError(ctx.err, "pops: bad access mask '" + *v + "' (decimal or 0x-hex)");
      }
      mask = *parsed;
    } else if (auto cc = optionValue(args, i, "--country-code", error)) {
      country = *cc;
    } else if (auto rc = optionValue(args, i, "--region-code", error)) {
      region = *rc;
    } else if (auto name = optionValue(args, i, "--city", error)) {
      city = *name;
    } else if (auto ac = optionValue(args, i, "--area-code", error)) {
      areaCode = *ac;
    } else if (auto key = optionValue(args, i, "--sort", error)) {
      sortField = sortFieldFor(*key);
      if (!sortField) {
        return usageError(ctx.err,
                          "pops: bad sort key '" + *key + "' (city, phone, speed, rate, location or a field number)");
      }
    } else {
      return usageError(ctx.err, error.empty() ? "pops: unexpected argument '" + args[i] + "'" : "pops: " + error);
    }
  }
  // --descending only sets the direction of a --sort; on its own it changes nothing.

  // The same narrowing chain as the POP lists.
  auto book = loadMaster(ctx.global)->copyAccessType(mask);
  if (country) {
    book->filterByCountryCode(*country);
  }
  if (region) {
    book->filterByRegionCode(*region);
  }
  if (city) {
    book->filterByCity(*city);
  }
  if (areaCode) {
    book->filterByAreaCode(*areaCode);
  }
  if (sortField) {
    book->sortByField(*sortField, descending ? 0 : 1);
  }

  if (json) {
    ctx.out << "[";
    for (unsigned i = 0; i < book->count(); ++i) {
      POPRef pop = book->pop(static_cast<int>(i));
      ctx.out << (i ? ",\n  " : "\n  ") << "{\"id\": " << jsonString(std::string(pop->popID()))
              << ", \"country\": " << jsonString(pop->countryCode())
              << ", \"region\": " << jsonString(pop->regionCode()) << ", \"city\": " << jsonString(pop->city())
              << ", \"areaCode\": " << jsonString(pop->areaCode()) << ", \"phone\": " << jsonString(pop->phone())
              << ", \"accessType\": " << pop->accessType()
              << ", \"customer\": " << (pop->isCustomerPOP() ? "true" : "false") << "}";
    }
    ctx.out << (book->count() ? "\n]\n" : "]\n");
    return kExitOK;
  }
  for (unsigned i = 0; i < book->count(); ++i) {
    POPRef pop = book->pop(static_cast<int>(i));
    char access[16];
    std::snprintf(access, sizeof access, "0x%x", pop->accessType());
    ctx.out << tabSafe(std::string(pop->popID())) << '\t' << tabSafe(pop->countryCode()) << '\t'
            << tabSafe(pop->regionCode()) << '\t' << tabSafe(pop->city()) << '\t' << tabSafe(pop->areaCode()) << '\t'
            << tabSafe(pop->phone()) << '\t' << access << '\t' << (pop->isCustomerPOP() ? '1' : '0') << '\n';
  }
  return kExitOK;
}

void printLines(std::ostream& out, const std::vector<std::string>& lines) {
  for (const auto& line : lines) {
    out << line << '\n';
  }
}

int runCountries(CommandContext& ctx) {
  uint32_t mask = kAccessAll;
  for (size_t i = 0; i < ctx.args.size();) {
    std::string error;
    if (auto v = optionValue(ctx.args, i, "--access", error)) {
      auto parsed = parseMask(*v);
      if (!parsed) {
        return usageError(ctx.err, "countries: bad access mask '" + *v + "' (decimal or 0x-hex)");
      }
      mask = *parsed;
    } else {
      return usageError(ctx.err,
                        error.empty() ? "countries: unexpected argument '" + ctx.args[i] + "'" : "countries: " + error);
    }
  }
  printLines(ctx.out, loadMaster(ctx.global)->copyAccessType(mask)->countryNames());
  return kExitOK;
}

int runRegions(CommandContext& ctx) {
  if (ctx.args.size() != 1 || ctx.args[0].empty() || ctx.args[0][0] == '-') {
    return usageError(ctx.err, "usage: zavroctl regions CC");
  }
  auto book = loadMaster(ctx.global)->copyAccessType(kAccessAll);
  book->filterByCountryCode(ctx.args[0]);
  printLines(ctx.out, book->regionNames());
  return kExitOK;
}

int runCities(CommandContext& ctx) {
  if (ctx.args.empty() || ctx.args.size() > 2 || ctx.args[0].empty() || ctx.args[0][0] == '-' ||
      (ctx.args.size() == 2 && (ctx.args[1].empty() || ctx.args[1][0] == '-'))) {
    return usageError(ctx.err, "usage: zavroctl cities CC [RC]");
  }
  auto book = loadMaster(ctx.global)->copyAccessType(kAccessAll);
  book->filterByCountryCode(ctx.args[0]);
  if (ctx.args.size() == 2) {
    book->filterByRegionCode(ctx.args[1]);
  }
  printLines(ctx.out, book->getCityNames());
  return kExitOK;
}

int runPop(CommandContext& ctx) {
  if (ctx.args.size() != 1) {
    return usageError(ctx.err, "usage: zavroctl pop ID");
  }
  POPRef pop = loadMaster(ctx.global)->popForID(ctx.args[0]);
  if (!pop) {
    return usageError(ctx.err, "pop: unknown POP ID '" + ctx.args[0] + "'");
  }
  ctx.out << pop->description();
  return kExitOK;
}

const CommandRegistrar registrar({
    {"pops",
     "pops [--access MASK] [--country-code CC] [--region-code RC] [--city NAME] [--area-code AC] "
     "[--sort city|phone|speed|rate|location|N] [--descending] [--json]",
     runPops},
    {"countries", "countries [--access MASK]", runCountries},
    {"regions", "regions CC", runRegions},
    {"cities", "cities CC [RC]", runCities},
    {"pop", "pop ID", runPop},
});

}  // namespace

}  // namespace zavro::ctl
