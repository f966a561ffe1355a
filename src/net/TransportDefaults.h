// Settings every new HTTPTransaction and Transaction starts from: trusted CAs and the body limit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zavro {

class ProxySettings;

struct TransportDefaults {
  // A PEM bundle used instead of the system's CA bundle file; "" for the system's. Tests point this at
  // the CA they generate; a site with a private CA may too.
  std::string caCertificatesFile;
  // A response body that grows past this many bytes ends the transfer (kept up to exactly this size,
  // counted as partial), so that a hostile or broken server cannot exhaust memory.
  uint64_t maxBodyBytes = 64ull * 1024 * 1024;
  // Where "with proxies" looks; empty for ProxySettings::systemProxySettings() at the time of the request.
  std::shared_ptr<ProxySettings> proxySettings;

  // The process-wide defaults (reset to the values above by Environment::install()). Thread-safe;
  // a change affects transactions created afterwards.
  static TransportDefaults current();
  static void setCurrent(TransportDefaults defaults);
};

}  // namespace zavro
