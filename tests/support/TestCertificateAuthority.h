// Certificate authorities and server certificates made at test time, for loopback HTTPS servers.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zavro::test {

// A server's certificate and private key, both PEM.
struct TlsIdentity {
  std::string certificatePem;
  std::string privateKeyPem;
};

// A fresh CA (P-256 key, self-signed, valid from an hour ago for a day) that issues server
// certificates. A client trusts it when given certificatePem() (for example through
// writeCertificate() and a CA-bundle setting); one it was not given stands for an unknown CA.
class TestCertificateAuthority {
 public:
  explicit TestCertificateAuthority(const std::string& commonName = "Zavro Test CA");
  ~TestCertificateAuthority();
  TestCertificateAuthority(const TestCertificateAuthority&) = delete;
  TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

  const std::string& certificatePem() const { return mCertificatePem; }
  // Writes certificatePem() to `path` and returns `path`.
  std::string writeCertificate(const std::string& path) const;

  // A server certificate signed by this CA, with these names as subject alternative names.
  TlsIdentity issue(const std::vector<std::string>& dnsNames = {"localhost"},
                    const std::vector<std::string>& ipAddresses = {"127.0.0.1"}) const;

  // A server certificate signed by its own key (no CA at all).
  static TlsIdentity selfSigned(const std::vector<std::string>& dnsNames = {"localhost"},
                                const std::vector<std::string>& ipAddresses = {"127.0.0.1"});

 private:
  struct Keys;
  std::unique_ptr<Keys> mKeys;
  std::string mCertificatePem;
};

}  // namespace zavro::test
