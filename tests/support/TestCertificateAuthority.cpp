// Test CAs and server certificates through the OpenSSL API.
#include "support/TestCertificateAuthority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <ctime>
#include <stdexcept>

#include "support/TempDir.h"

namespace zavro::test {

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string("test certificate: ") + what);
  }
}

EVP_PKEY* newKey() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  check(key != nullptr, "key generation");
  return key;
}

std::string keyPem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  check(PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "key PEM");
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(length));
  BIO_free(bio);
  return pem;
}

std::string certificatePemOf(X509* certificate) {
  BIO* bio = BIO_new(BIO_s_mem());
  check(PEM_write_bio_X509(bio, certificate) == 1, "certificate PEM");
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(length));
  BIO_free(bio);
  return pem;
}

void addExtension(X509* certificate, X509V3_CTX* context, int nid, const std::string& value) {
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, context, nid, value.c_str());
  check(extension != nullptr, "extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

// A certificate for `subjectKey` named `commonName`, signed by `issuerKey` as `issuer` (itself when
// issuer is null).
X509* makeCertificate(EVP_PKEY* subjectKey, const std::string& commonName, EVP_PKEY* issuerKey, X509* issuer, bool isCA,
                      const std::string& altNames) {
  static std::atomic<long> serial{static_cast<long>(std::time(nullptr)) & 0xffffff};
  X509* certificate = X509_new();
  check(certificate != nullptr, "allocation");
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), ++serial);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
  X509_set_pubkey(certificate, subjectKey);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Zavro Tests"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(certificate, issuer != nullptr ? X509_get_subject_name(issuer) : name);

  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer != nullptr ? issuer : certificate, certificate, nullptr, nullptr, 0);
  if (isCA) {
    addExtension(certificate, &context, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate, &context, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    addExtension(certificate, &context, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate, &context, NID_key_usage, "critical,digitalSignature");
    addExtension(certificate, &context, NID_ext_key_usage, "serverAuth");
  }
  addExtension(certificate, &context, NID_subject_key_identifier, "hash");
  if (issuer != nullptr) {
    addExtension(certificate, &context, NID_authority_key_identifier, "keyid:always");
  }
  if (!altNames.empty()) {
    addExtension(certificate, &context, NID_subject_alt_name, altNames);
  }
  check(X509_sign(certificate, issuerKey, EVP_sha256()) > 0, "signing");
  return certificate;
}

std::string altNamesOf(const std::vector<std::string>& dnsNames, const std::vector<std::string>& ipAddresses) {
  std::string names;
  for (const auto& dns : dnsNames) {
    names += (names.empty() ? "DNS:" : ",DNS:") + dns;
  }
  for (const auto& ip : ipAddresses) {
    names += (names.empty() ? "IP:" : ",IP:") + ip;
  }
  return names;
}

std::string firstName(const std::vector<std::string>& dnsNames, const std::vector<std::string>& ipAddresses) {
  if (!dnsNames.empty()) return dnsNames.front();
  if (!ipAddresses.empty()) return ipAddresses.front();
  return "server";
}

}  // namespace

struct TestCertificateAuthority::Keys {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  ~Keys() {
    X509_free(certificate);
    EVP_PKEY_free(key);
  }
};

TestCertificateAuthority::TestCertificateAuthority(const std::string& commonName) : mKeys(std::make_unique<Keys>()) {
  mKeys->key = newKey();
  mKeys->certificate = makeCertificate(mKeys->key, commonName, mKeys->key, nullptr, true, "");
  mCertificatePem = certificatePemOf(mKeys->certificate);
}

TestCertificateAuthority::~TestCertificateAuthority() = default;

std::string TestCertificateAuthority::writeCertificate(const std::string& path) const {
  writeFile(path, mCertificatePem);
  return path;
}

TlsIdentity TestCertificateAuthority::issue(const std::vector<std::string>& dnsNames,
                                            const std::vector<std::string>& ipAddresses) const {
  EVP_PKEY* key = newKey();
  X509* certificate = makeCertificate(key, firstName(dnsNames, ipAddresses), mKeys->key, mKeys->certificate, false,
                                      altNamesOf(dnsNames, ipAddresses));
  TlsIdentity identity{certificatePemOf(certificate), keyPem(key)};
  X509_free(certificate);
  EVP_PKEY_free(key);
  return identity;
}

TlsIdentity TestCertificateAuthority::selfSigned(const std::vector<std::string>& dnsNames,
                                                 const std::vector<std::string>& ipAddresses) {
  EVP_PKEY* key = newKey();
  X509* certificate =
      makeCertificate(key, firstName(dnsNames, ipAddresses), key, nullptr, false, altNamesOf(dnsNames, ipAddresses));
  TlsIdentity identity{certificatePemOf(certificate), keyPem(key)};
  X509_free(certificate);
  EVP_PKEY_free(key);
  return identity;
}

}  // namespace zavro::test
