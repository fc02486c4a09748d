#include "db/connection_tls.h"

#include <fcntl.h>
#include <mysql.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarnlight::db {
namespace {

// A file the library would otherwise report only as a TLS error, without
// its name.
bool Readable(const std::string& path, const char* what, const char* key, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    *error = std::string("Cannot read the ") + what + " (" + key + ") " + path + ": " +
             std::strerror(errno);
    return false;
}

}  // namespace

bool CheckTlsFiles(const DbTls& tls, std::string* error) {
    if (tls.sslMode == SslMode::Disabled) return true;
    if (SslModeVerifies(tls.sslMode)) {
        if (tls.sslCa.empty()) {
            *error = std::string("sslMode ") + SslModeName(tls.sslMode) +
                     " needs sslCa, the CA certificate file (PEM) that signed the server's "
                     "certificate";
            return false;
        }
        if (!Readable(tls.sslCa, "CA certificate file", "sslCa", error)) return false;
    }
    if (!tls.sslCert.empty() && !Readable(tls.sslCert, "client certificate file", "sslCert", error))
        return false;
    if (!tls.sslKey.empty() && !Readable(tls.sslKey, "client key file", "sslKey", error))
        return false;
    return true;
}

void SetTlsOptions(MYSQL* handle, const DbTls& tls) {
    if (tls.sslMode == SslMode::Disabled) return;
    const my_bool on = 1;
    mysql_optionsv(handle, MYSQL_OPT_SSL_ENFORCE, &on);
    // The CA only where the mode checks against it: PREFERRED and REQUIRED
    // take any certificate, as the clients' --ssl-mode does.
    if (SslModeVerifies(tls.sslMode)) mysql_optionsv(handle, MYSQL_OPT_SSL_CA, tls.sslCa.c_str());
    if (tls.sslMode == SslMode::VerifyIdentity)
        mysql_optionsv(handle, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on);
    if (!tls.sslCert.empty()) mysql_optionsv(handle, MYSQL_OPT_SSL_CERT, tls.sslCert.c_str());
    if (!tls.sslKey.empty()) mysql_optionsv(handle, MYSQL_OPT_SSL_KEY, tls.sslKey.c_str());
}

bool CheckSessionTls(MYSQL* handle, const DbTls& tls, std::string* error) {
    if (tls.sslMode == SslMode::Disabled || tls.sslMode == SslMode::Preferred) return true;
    if (mysql_get_ssl_cipher(handle) != nullptr) return true;
    // The library's own words for the same case under VERIFY_IDENTITY.
    *error = std::string(
                 "TLS/SSL error: SSL is required, but the server does not support it "
                 "(sslMode ") +
             SslModeName(tls.sslMode) + ")";
    return false;
}

std::string SessionTlsDescription(MYSQL* handle) {
    const char* cipher = mysql_get_ssl_cipher(handle);
    if (cipher == nullptr) return "no TLS";
    const char* version = nullptr;
    if (mariadb_get_infov(handle, MARIADB_CONNECTION_TLS_VERSION, &version) != 0 ||
        version == nullptr)
        return cipher;
    return std::string(version) + " " + cipher;
}

}  // namespace tarnlight::db
