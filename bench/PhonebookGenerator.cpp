// The phonebook generator: a fixed pseudo-random stream shapes countries, regions, cities and POPs.
#include "PhonebookGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

namespace zavro::bench {

namespace {

struct Rng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
};

const char* kSyllables[] = {"ka",  "lo",  "ren", "mar",   "te",  "vi",  "san", "dor", "el", "mi", "ra", "no",
                            "bel", "sta", "ton", "ville", "ber", "gen", "lin", "que", "ta", "hu", "ro", "sel"};

std::string word(Rng& rng, size_t minSyllables, size_t maxSyllables) {
  std::string w;
  const size_t n = minSyllables + rng.below(maxSyllables - minSyllables + 1);
  for (size_t i = 0; i < n; ++i) {
    w += kSyllables[rng.below(std::size(kSyllables))];
  }
  w[0] = static_cast<char>(w[0] - 32);
  return w;
}

struct City {
  std::string name;
  std::string areaCode;
};
struct Region {
  std::string code;
  std::string name;
  std::vector<City> cities;
};
struct Country {
  std::string code;
  std::string name;
  int tapi;
  std::vector<Region> regions;
  double weight;
};

}  // namespace

GeneratedPhonebook generatePhonebook(const std::string& dir, size_t records, uint64_t seed) {
  std::filesystem::create_directories(dir);
  Rng rng{seed * 7919 + 17};
  GeneratedPhonebook out;

  // About 200 countries with a skewed share of the POPs: the first holds more than a third of them.
  std::vector<Country> countries;
  double total = 0;
  for (int c = 0; c < 200; ++c) {
    Country country;
    country.code = std::string{static_cast<char>('A' + c / 26), static_cast<char>('A' + c % 26)};
    country.name = word(rng, 2, 4) + (c % 7 == 0 ? " Republic" : "");
    country.tapi = 1 + c * 3;
    country.weight = 1.0 / std::pow(c + 1.0, 1.5);
    total += country.weight;
    const size_t regionCount = 3 + rng.below(20);
    for (size_t r = 0; r < regionCount; ++r) {
      Region region;
      char code[16];
      std::snprintf(code, sizeof code, "%s%02zu", country.code.c_str(), r);
      region.code = code;
      region.name = word(rng, 2, 3);
      const size_t cityCount = 3 + rng.below(30);
      for (size_t k = 0; k < cityCount; ++k) {
        region.cities.push_back({word(rng, 2, 4) + (rng.below(8) == 0 ? ", " + word(rng, 1, 2) : ""),
                                 std::to_string(100 + rng.below(900))});
      }
      country.regions.push_back(std::move(region));
    }
    countries.push_back(std::move(country));
  }

  std::string pbook = "#VER 20240101\n# generated phonebook\n";
  std::string cbook = "#VER 77\n";
  std::string ssid = "#VER 1\n";
  std::string wep = "#VER 1\n";
  pbook.reserve(records * 180);
  std::map<std::string, size_t> popsPerCountry;
  std::map<std::string, size_t> popsPerRegion;
  std::map<std::string, size_t> popsPerCity;

  static const char* kMedia[] = {"MODEM", "ISDN", "BROADBAND", "BROADBAND"};
  static const char* kAccess[] = {"0x4", "0x3", "0x10", "0x8"};
  static const char* kProcs[] = {"GI", "WY", "NX.1", "IT", "GI.2", ""};
  size_t written = 0;
  uint64_t nextID = 1000000;
  std::vector<std::string> batch;
  while (written < records) {
    // Choose country by weight, then region and city.
    double pick = rng.unit() * total;
    size_t c = 0;
    while (c + 1 < countries.size() && pick >= countries[c].weight) {
      pick -= countries[c].weight;
      ++c;
    }
    const Country& country = countries[c];
    const Region& region = country.regions[rng.below(country.regions.size())];
    const City& city = region.cities[rng.below(region.cities.size())];
    // IDs are scattered, so the ID sort has real work to do.
    const uint64_t id = nextID + (rng.next() % 1000) * 100000 + (nextID % 100000);
    ++nextID;
    const bool customer = rng.below(10) == 0;
    const bool allCity = rng.below(50) == 0;
    const bool broadband = rng.below(3) == 0;
    const size_t recordsForID = 2 + rng.below(3);
    ++popsPerCountry[country.code];
    if (country.code == "AA") {
      ++popsPerRegion[region.code];
      ++popsPerCity[region.code + "/" + city.name];
    }
    for (size_t k = 0; k < recordsForID && written < records; ++k) {
      const size_t media = broadband ? 2 + (k % 2) : (k % 2);
      char phone[32];
      std::snprintf(phone, sizeof phone, "555-%04zu", rng.below(10000));
      char rate[16];
      std::snprintf(rate, sizeof rate, "%.2f", 0.05 * static_cast<double>(1 + rng.below(12)));
      const std::string site = broadband ? "\"" + word(rng, 2, 3) + " Hotel, " + city.name.substr(0, 12) + "\"" : "";
      std::string line;
      line.reserve(200);
      line += country.code + "," + region.code + ",";
      line += city.name.find(',') != std::string::npos ? "\"" + city.name + "\"" : city.name;
      line += "," + (broadband ? std::string() : city.areaCode) + "," + (broadband ? std::string() : phone) + ",";
      line += std::to_string(id) + ",ZavroGeneric,ZVR/,,,,,,,";
      line += std::string(rate) + "," + (broadband ? "" : (media == 1 ? "64000" : "56000")) + ",,,,,";
      line += (rng.below(20) == 0 ? "1" : "0");
      line += "," + std::to_string(1 + rng.below(5)) + ",1-800-555-0199,";
      line += rng.below(4) == 0 ? "\"Call support, any time\"" : "Support";
      line += std::string(",") + (allCity ? "1" : "0") + "," + std::to_string(rng.below(1000)) + ",";
      line += std::string(kMedia[media]) + ",B" + std::to_string(rng.below(90) + 10) + "," + kAccess[media] + ",";
      line += broadband ? kProcs[rng.below(std::size(kProcs))] : "";
      line += std::string(",") + (broadband ? "54000" : "") + "," + site + "," + (broadband ? "Hotel" : "") + ",";
      line += broadband ? "\"" + std::to_string(1 + rng.below(400)) + " Main Street\"" : "";
      line += std::string(",") + (broadband ? "555-0100" : "") + "\n";
      (customer ? cbook : pbook) += line;
      ++written;
    }
    if (broadband) {
      ssid += std::to_string(id) + "," + word(rng, 2, 3) + "-WiFi\n";
      if (rng.below(4) == 0) {
        wep += std::to_string(id) + ",0A1B2C3D4E\n";
      }
    }
  }

  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  };
  write("pbook.txt", pbook);
  write("cbook.txt", cbook);
  write("pop_ssid.txt", ssid);
  write("pop_wep.txt", wep);
  std::string country = "#VER 3\n", region = "#VER 3\n";
  for (const auto& c : countries) {
    country += c.code + "," + std::to_string(c.tapi) + "," + c.name + "," + (c.tapi % 2 ? "1" : "0") + "\n";
    for (const auto& r : c.regions) {
      region += c.code + "," + r.code + "," + r.name + "\n";
    }
  }
  write("country.txt", country);
  write("region.txt", region);

  out.records = written;
  out.bytes = pbook.size() + cbook.size();
  out.biggestCountry = std::max_element(popsPerCountry.begin(), popsPerCountry.end(), [](auto& a, auto& b) {
                         return a.second < b.second;
                       })->first;
  auto bestRegion = std::max_element(popsPerRegion.begin(), popsPerRegion.end(),
                                     [](auto& a, auto& b) { return a.second < b.second; });
  out.biggestRegion = bestRegion == popsPerRegion.end() ? std::string() : bestRegion->first;
  size_t bestCity = 0;
  for (const auto& [key, n] : popsPerCity) {
    if (key.compare(0, out.biggestRegion.size() + 1, out.biggestRegion + "/") == 0 && n > bestCity) {
      bestCity = n;
      out.biggestCity = key.substr(out.biggestRegion.size() + 1);
    }
  }
  return out;
}

}  // namespace zavro::bench
