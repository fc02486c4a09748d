#pragma once
// The connection parameters of a private MariaDB server that
// scripts/mariadb-private runs in DIR, for the tools and the tests that use
// one: root over TCP at 127.0.0.1, the port and password from DIR/port and
// DIR/password.
#include <cstdlib>
#include <fstream>
#include <string>

#include "db/mirror_connection.h"

namespace tarnlight::tools {

// The first line of a file; empty when it cannot be read.
inline std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

inline db::ConnectionParams PrivateServerParams(const std::string& dir) {
    db::ConnectionParams params;
    params.host = "127.0.0.1";
    params.user = "root";
    params.password = ReadFirstLine(dir + "/password");
    params.port =
        static_cast<unsigned>(std::strtoul(ReadFirstLine(dir + "/port").c_str(), nullptr, 10));
    params.connectTimeoutSeconds = 5;
    return params;
}

}  // namespace tarnlight::tools
