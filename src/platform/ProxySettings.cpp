// The libproxy backend of ProxySettings and the process-wide instance.
#include "platform/ProxySettings.h"

#include <proxy.h>

#include <cstdlib>
#include <cstring>

#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

ProcessWide<ProxySettings> gSystemProxySettings([]() -> std::shared_ptr<ProxySettings> {
  const char* platform = std::getenv("ZAVRO_PLATFORM");
  if (platform != nullptr && std::strcmp(platform, "sim") == 0) {
    return std::make_shared<FixedProxySettings>();
  }
  return std::make_shared<LibproxyProxySettings>();
});

}  // namespace

std::shared_ptr<ProxySettings> ProxySettings::systemProxySettings() {
  return gSystemProxySettings.get();
}

std::string chooseProxy(const std::vector<std::string>& candidates) {
  static const char* const kPassThrough[] = {"http://",    "https://",  "socks4://",
                                             "socks4a://", "socks5://", "socks5h://"};
  for (const std::string& candidate : candidates) {
    if (candidate == "direct://") {
      return "";
    }
    if (startsWith(candidate, "socks://")) {
      return "socks5://" + candidate.substr(std::strlen("socks://"));
    }
    for (const char* scheme : kPassThrough) {
      if (startsWith(candidate, scheme) && candidate.size() > std::strlen(scheme)) {
        return candidate;
      }
    }
  }
  return "";
}

LibproxyProxySettings::LibproxyProxySettings() : mFactory(px_proxy_factory_new()) {}

LibproxyProxySettings::~LibproxyProxySettings() {
  if (mFactory != nullptr) {
    px_proxy_factory_free(mFactory);
  }
}

std::string LibproxyProxySettings::proxyForURL(const std::string& url) {
  if (mFactory == nullptr) {
    return "";
  }
  // The factory is documented as thread-safe, so concurrent requests do not serialise here.
  char** proxies = px_proxy_factory_get_proxies(mFactory, url.c_str());
  if (proxies == nullptr) {
    return "";
  }
  std::vector<std::string> candidates;
  for (char** entry = proxies; *entry != nullptr; ++entry) {
    candidates.emplace_back(*entry);
  }
  px_proxy_factory_free_proxies(proxies);
  return chooseProxy(candidates);
}

}  // namespace zavro
