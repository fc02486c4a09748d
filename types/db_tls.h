#pragma once
// How the connection to the database server is secured: the [MySQL] keys
// sslMode, sslCa, sslCert and sslKey of the settings file, carried as one
// group from the settings into the link snapshot and the connection
// parameters. The modes mean what the MySQL/MariaDB clients' --ssl-mode
// means.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnlight {

enum class SslMode : uint8_t {
    Disabled,        // plain TCP, as always (the default)
    Preferred,       // TLS when the server offers it, plain TCP otherwise
    Required,        // TLS or no connection; the certificate is not checked
    VerifyCa,        // as Required, and the certificate must be signed by sslCa
    VerifyIdentity,  // as VerifyCa, and the certificate must name the host connected to
};

struct DbTls {
    SslMode sslMode = SslMode::Disabled;
    std::string sslCa;    // CA certificate file (PEM) for the two verifying modes
    std::string sslCert;  // the client's own certificate file, for servers that ask for one
    std::string sslKey;   // its key file
    bool operator==(const DbTls&) const = default;
};

// "DISABLED", "PREFERRED", "REQUIRED", "VERIFY_CA" or "VERIFY_IDENTITY".
const char* SslModeName(SslMode mode);
// One of those names, in any case, blanks around it allowed; nothing for
// any other text.
std::optional<SslMode> ParseSslMode(std::string_view text);

inline bool SslModeVerifies(SslMode mode) {
    return mode == SslMode::VerifyCa || mode == SslMode::VerifyIdentity;
}

}  // namespace tarnlight
