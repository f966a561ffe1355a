// The (domain, code) pair an HTTP transaction reports when its transfer failed, and the values used.
#pragma once

#include <cstdint>

namespace zavro {

// Domains:
//   0 / 0                                   no transport error (also after an abort, a watchdog expiry,
//                                           a receiver that stopped the stream or the body limit)
//   kStreamErrorDomainPOSIX / errno         the connection could not be made (ECONNREFUSED, ...)
//   kStreamErrorDomainSSL / kStreamErrorSSLNoRootCert
//                                           the server's certificate chain ends in no trusted root
//                                           (unknown CA, self-signed leaf)
//   kStreamErrorDomainTransport / CURLcode  every other failure: DNS, TLS handshake, a certificate
//                                           for another host name, an expired one, a short body ...
struct StreamError {
  int32_t domain = 0;
  int32_t error = 0;

  bool operator==(const StreamError&) const = default;
};

inline constexpr int32_t kStreamErrorDomainPOSIX = 1;
inline constexpr int32_t kStreamErrorDomainSSL = 3;
inline constexpr int32_t kStreamErrorDomainTransport = 100;

inline constexpr int32_t kStreamErrorSSLNoRootCert = -9813;

}  // namespace zavro
