#pragma once
// The parameters of the mirror's connection, from the link's snapshot: the
// ones Connect opens it with and every reconnect of the running link reuses.
#include <string>

#include "db/mirror_connection.h"
#include "types/link_config.h"

namespace tarnlight::db {

// The name of the credential that holds the database password for the
// service (LoadCredential=dbPassword:FILE in its unit).
inline constexpr const char* kPasswordCredential = "dbPassword";

// Host, user, port and TLS as configured. The password is the configured
// one; when that is empty, the credential's (CredentialPassword), so a
// service keeps it out of its settings file. It is taken here and never
// stored back into the settings or the snapshot.
ConnectionParams MirrorConnectionParams(const LinkConfig& config);

// The first line of the file kPasswordCredential in the directory
// $CREDENTIALS_DIRECTORY (where systemd puts a unit's credentials); "" when
// the variable is not set or the file cannot be read.
std::string CredentialPassword();

}  // namespace tarnlight::db
