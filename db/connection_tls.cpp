#include "db/connection_tls.h"

#include <errmsg.h>
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

const char* AllowedLoginMethods(SslMode mode) {
    // The scramble methods prove the password without sending it.
    if (!SslModeVerifies(mode)) return "mysql_native_password,client_ed25519";
    return "mysql_native_password,client_ed25519,mysql_clear_password,dialog,sha256_password,"
           "caching_sha2_password";
}

bool SetTlsOptions(MYSQL* handle, const DbTls& tls, std::string* error) {
    const auto set = [&](mysql_option option, const void* value, const char* name) {
        if (mysql_optionsv(handle, option, value) == 0) return true;
        *error = std::string("MySQL client library: option ") + name + " not supported";
        return false;
    };
    if (!set(MARIADB_OPT_RESTRICTED_AUTH, AllowedLoginMethods(tls.sslMode),
             "MARIADB_OPT_RESTRICTED_AUTH"))
        return false;
    if (tls.sslMode == SslMode::Disabled) return true;
    const my_bool on = 1;
    // Off stated, not left to the library's default: REQUIRED and VERIFY_CA
    // take a certificate whatever host it names.
    const my_bool verifyHostName = tls.sslMode == SslMode::VerifyIdentity ? 1 : 0;
    if (!set(MYSQL_OPT_SSL_ENFORCE, &on, "MYSQL_OPT_SSL_ENFORCE") ||
        !set(MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verifyHostName, "MYSQL_OPT_SSL_VERIFY_SERVER_CERT"))
        return false;
    // The CA only where the mode checks against it: PREFERRED and REQUIRED
    // take any certificate, as the clients' --ssl-mode does.
    if (SslModeVerifies(tls.sslMode) &&
        !set(MYSQL_OPT_SSL_CA, tls.sslCa.c_str(), "MYSQL_OPT_SSL_CA"))
        return false;
    // The refusal of a server without TLS before the login (see the header).
    if ((tls.sslMode == SslMode::Required || tls.sslMode == SslMode::VerifyCa) &&
        !set(MARIADB_OPT_TLS_PEER_FP, "", "MARIADB_OPT_TLS_PEER_FP"))
        return false;
    if (!tls.sslCert.empty() && !set(MYSQL_OPT_SSL_CERT, tls.sslCert.c_str(), "MYSQL_OPT_SSL_CERT"))
        return false;
    if (!tls.sslKey.empty() && !set(MYSQL_OPT_SSL_KEY, tls.sslKey.c_str(), "MYSQL_OPT_SSL_KEY"))
        return false;
    return true;
}

void ExplainRefusedLoginMethod(MYSQL* handle, const DbTls& tls, std::string* error) {
    if (mysql_errno(handle) != CR_PLUGIN_NOT_ALLOWED) return;
    // The library's text may name the method the login began with instead
    // of the one the server switched to.
    *error += std::string(" (the server asked for a login method that sslMode ") +
              SslModeName(tls.sslMode) + " does not answer; it answers " +
              AllowedLoginMethods(tls.sslMode);
    if (!SslModeVerifies(tls.sslMode))
        *error +=
            "; the ones that send the password itself need sslMode VERIFY_CA or "
            "VERIFY_IDENTITY";
    *error += ")";
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
