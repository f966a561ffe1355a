// Which proxy, if any, a request to a given URL should go through on the machine's active network.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct pxProxyFactory_;

namespace zavro {

// The source of proxy settings the HTTP code asks when a request is made "with proxies".
// Implementations are safe to call from several threads at once.
class ProxySettings {
 public:
  virtual ~ProxySettings() = default;

  // The proxy to reach `url` through, as a URL libcurl understands ("http://host:port",
  // "socks5://host:port", ...); "" when the URL is to be reached directly. May block for a while
  // (desktop settings, a PAC file fetched over the network, WPAD lookups): call it on the thread that
  // performs the request, never on the main thread.
  virtual std::string proxyForURL(const std::string& url) = 0;

  // The process-wide source of the machine's settings: libproxy, or no proxy at all when the
  // simulated platform is selected (ZAVRO_PLATFORM=sim). Made on first use; Environment::install()
  // drops it so that the next request starts from a fresh one.
  static std::shared_ptr<ProxySettings> systemProxySettings();
};

// The machine's settings through libproxy: desktop proxy settings, PAC and WPAD, and the
// http_proxy / https_proxy / no_proxy environment variables when nothing else is configured.
class LibproxyProxySettings final : public ProxySettings {
 public:
  LibproxyProxySettings();
  ~LibproxyProxySettings() override;
  LibproxyProxySettings(const LibproxyProxySettings&) = delete;
  LibproxyProxySettings& operator=(const LibproxyProxySettings&) = delete;

  // "" when libproxy could not be set up or has no answer (a failure never blocks the request).
  std::string proxyForURL(const std::string& url) override;

 private:
  pxProxyFactory_* mFactory = nullptr;
};

// Always the same answer: no proxy (the default) or one fixed proxy. For the simulated platform, the
// demo and tests.
class FixedProxySettings final : public ProxySettings {
 public:
  FixedProxySettings() = default;
  explicit FixedProxySettings(std::string proxy) : mProxy(std::move(proxy)) {}

  std::string proxyForURL(const std::string&) override { return mProxy; }

 private:
  std::string mProxy;
};

// The first entry of a libproxy answer that libcurl can use: "direct://" gives "", "socks://" is
// read as SOCKS 5, http, https, socks4, socks4a, socks5 and socks5h pass unchanged; entries of any
// other kind are skipped. "" when nothing usable is left.
std::string chooseProxy(const std::vector<std::string>& candidates);

}  // namespace zavro
