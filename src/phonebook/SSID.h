// The wireless network name and optional WEP key of a wireless POP.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace zavro {

class SSID {
 public:
  SSID() = default;
  SSID(std::string ssid, std::optional<std::string> wepKey) : mSSID(std::move(ssid)), mWEPKey(std::move(wepKey)) {}
  static std::shared_ptr<SSID> ssid(std::string ssid, std::optional<std::string> wepKey);

  const std::string& ssid() const { return mSSID; }
  // Absent when no WEP file names the POP.
  const std::optional<std::string>& wepKey() const { return mWEPKey; }
  void setSSID(std::string ssid) { mSSID = std::move(ssid); }
  void setWEPKey(std::optional<std::string> key) { mWEPKey = std::move(key); }

 private:
  std::string mSSID;
  std::optional<std::string> mWEPKey;
};

}  // namespace zavro
