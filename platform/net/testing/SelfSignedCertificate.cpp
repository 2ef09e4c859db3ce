#include "platform/net/testing/SelfSignedCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace platform::testing {
namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;

void require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("self-signed certificate: ") + what);
}

void addExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  require(extension != nullptr, "extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

void writePem(const std::filesystem::path& path, const std::function<int(FILE*)>& write) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "w"), std::fclose);
  require(file != nullptr, "open file");
  require(write(file.get()) == 1, "write PEM");
}

}  // namespace

void writeSelfSignedCertificate(const std::filesystem::path& certificateFile,
                                const std::filesystem::path& keyFile) {
  KeyPtr key(EVP_EC_gen("P-256"));
  require(key != nullptr, "key");
  CertificatePtr certificate(X509_new());
  require(certificate != nullptr, "certificate");
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400);
  X509_set_pubkey(certificate.get(), key.get());
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                             -1, -1, 0);
  X509_set_issuer_name(certificate.get(), name);
  addExtension(certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
  addExtension(certificate.get(), NID_subject_alt_name, "IP:127.0.0.1");
  addExtension(certificate.get(), NID_subject_key_identifier, "hash");
  require(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "sign");

  writePem(certificateFile, [&](FILE* file) { return PEM_write_X509(file, certificate.get()); });
  writePem(keyFile, [&](FILE* file) {
    return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
}

}  // namespace platform::testing
