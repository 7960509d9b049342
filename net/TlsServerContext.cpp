// SPDX-License-Identifier: MIT
#include "net/TlsServerContext.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstddef>

namespace zaplo {

namespace {

std::string LibraryError(const char* szWhat) {
    const unsigned long lCode = ERR_get_error();
    ERR_clear_error();
    if (lCode == 0) {
        return szWhat;
    }
    char szReason[256];
    ERR_error_string_n(lCode, szReason, sizeof szReason);
    return std::string(szWhat) + ": " + szReason;
}

X509* ReadCertificate(const QSslCertificate& certificate) {
    const QByteArray der = certificate.toDer();
    const auto* data = reinterpret_cast<const unsigned char*>(der.constData());
    return d2i_X509(nullptr, &data, der.size());
}

EVP_PKEY* ReadKey(const QSslKey& key) {
    const QByteArray pem = key.toPem();
    BIO* bio = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    if (bio == nullptr) {
        return nullptr;
    }
    EVP_PKEY* pkey = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return pkey;
}

int AppendWrite(BIO* bio, const char* data, std::size_t nBytes, std::size_t* nWritten) {
    static_cast<std::string*>(BIO_get_data(bio))->append(data, nBytes);
    *nWritten = nBytes;
    return 1;
}

long AppendControl(BIO*, int nCommand, long, void*) {
    // Everything is out as soon as it is written; nothing else is offered.
    return nCommand == BIO_CTRL_FLUSH ? 1 : 0;
}

int AppendCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* MakeAppendMethod() {
    BIO_METHOD* method =
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zaplo append to string");
    if (method != nullptr && (BIO_meth_set_write_ex(method, AppendWrite) != 1 ||
                              BIO_meth_set_ctrl(method, AppendControl) != 1 ||
                              BIO_meth_set_create(method, AppendCreate) != 1)) {
        BIO_meth_free(method);
        return nullptr;
    }
    return method;
}

} // namespace

std::shared_ptr<const TlsServerContext> TlsServerContext::Create(const QSslConfiguration& config,
                                                                 std::string& szError) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    BIO_METHOD* append = MakeAppendMethod();
    if (ctx == nullptr || append == nullptr) {
        SSL_CTX_free(ctx);
        BIO_meth_free(append);
        szError = LibraryError("cannot set up TLS");
        return nullptr;
    }
    std::shared_ptr<const TlsServerContext> context(new TlsServerContext(ctx, append));
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // A client renegotiating over and over would cost the server a handshake each time.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    // No resumption: clients join once per session, and tickets would cost every join.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_num_tickets(ctx, 0);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);

    const QList<QSslCertificate> chain = config.localCertificateChain();
    if (chain.isEmpty()) {
        szError = "no certificate to serve TLS with";
        return nullptr;
    }
    for (qsizetype i = 0; i < chain.size(); ++i) {
        X509* certificate = ReadCertificate(chain[i]);
        if (certificate == nullptr) {
            szError = LibraryError("the TLS library cannot read the certificate");
            return nullptr;
        }
        const long nOk = i == 0 ? SSL_CTX_use_certificate(ctx, certificate)
                                : SSL_CTX_add1_chain_cert(ctx, certificate);
        X509_free(certificate);
        if (nOk != 1) {
            szError = LibraryError("the TLS library refuses the certificate");
            return nullptr;
        }
    }
    EVP_PKEY* key = ReadKey(config.privateKey());
    if (key == nullptr) {
        szError = LibraryError("the TLS library cannot read the private key");
        return nullptr;
    }
    const int nKeyOk = SSL_CTX_use_PrivateKey(ctx, key);
    EVP_PKEY_free(key);
    if (nKeyOk != 1 || SSL_CTX_check_private_key(ctx) != 1) {
        szError = LibraryError("the private key is not the certificate's");
        return nullptr;
    }
    return context;
}

TlsServerContext::~TlsServerContext() {
    SSL_CTX_free(ctx_);
    BIO_meth_free(append_);
}

} // namespace zaplo
