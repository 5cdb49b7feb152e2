#include "support/FakeCertificate.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include "support/TempHome.h"

namespace nb::test {

namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("fake certificate: ") + what);
}

void addExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  check(ext != nullptr, "extension");
  const bool added = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  check(added, "add extension");
}

}  // namespace

FakeCertificate::FakeCertificate() {
  key_.reset(EVP_EC_gen("P-256"));
  check(key_ != nullptr, "key");
  cert_.reset(X509_new());
  check(cert_ != nullptr, "certificate");
  X509* cert = cert_.get();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 7L * 24 * 3600);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("nubren fake service"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509_set_pubkey(cert, key_.get());
  addExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(cert, NID_key_usage, "critical,digitalSignature,keyCertSign");
  addExtension(cert, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  check(X509_sign(cert, key_.get(), EVP_sha256()) > 0, "sign");

  pemFile_ = makeTempDir("nbfakecert") / "ca.pem";
  FILE* out = std::fopen(pemFile_.c_str(), "w");
  check(out != nullptr, "open pem file");
  const bool written = PEM_write_X509(out, cert) == 1;
  std::fclose(out);
  check(written, "write pem file");
}

FakeCertificate::~FakeCertificate() {
  std::error_code ignored;
  std::filesystem::remove_all(pemFile_.parent_path(), ignored);
}

}  // namespace nb::test
