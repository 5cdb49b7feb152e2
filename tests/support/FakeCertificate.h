#pragma once
// A self-signed certificate for the fake service's HTTPS side, made fresh
// with OpenSSL: an EC P-256 key, valid for "127.0.0.1" and "localhost",
// marked as its own CA so that a client can name its PEM file as the only
// trusted CA.

#include <filesystem>
#include <memory>

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace nb::test {

class FakeCertificate {
 public:
  // Makes the key and certificate and writes the certificate's PEM into a
  // fresh temporary folder. Throws std::runtime_error when OpenSSL fails.
  FakeCertificate();
  ~FakeCertificate();  // removes the PEM file
  FakeCertificate(const FakeCertificate&) = delete;
  FakeCertificate& operator=(const FakeCertificate&) = delete;

  X509* certificate() const { return cert_.get(); }  // owned here
  EVP_PKEY* key() const { return key_.get(); }       // owned here
  const std::filesystem::path& pemFile() const { return pemFile_; }

 private:
  struct FreeX509 { void operator()(X509* p) const { X509_free(p); } };
  struct FreeKey { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
  std::unique_ptr<EVP_PKEY, FreeKey> key_;
  std::unique_ptr<X509, FreeX509> cert_;
  std::filesystem::path pemFile_;
};

}  // namespace nb::test
