#include "db/connection_params.h"

#include <cstdlib>
#include <fstream>

namespace tarnlight::db {

ConnectionParams MirrorConnectionParams(const LinkConfig& config) {
    ConnectionParams params;
    params.host = config.addressIP;
    params.user = config.username;
    params.password = config.dbPassword.empty() ? CredentialPassword() : config.dbPassword;
    params.port = config.portNum > 0 ? static_cast<unsigned>(config.portNum) : 0;
    params.tls = config.dbTls;
    return params;
}

std::string CredentialPassword() {
    const char* dir = std::getenv("CREDENTIALS_DIRECTORY");
    if (dir == nullptr || *dir == '\0') return std::string();
    std::ifstream in(std::string(dir) + "/" + kPasswordCredential);
    std::string line;
    if (!std::getline(in, line)) return std::string();
    // A file written on Windows, or by an editor that ends it with CRLF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace tarnlight::db
