#pragma once
// TLS for the mirror's connection, all of it done by MariaDB Connector/C:
// these functions only choose its options and look at what it agreed on.
//
// What the library does with them (Connector/C 3.3, Debian 12):
// MYSQL_OPT_SSL_ENFORCE asks for TLS whenever the server offers it, a CA
// file (MYSQL_OPT_SSL_CA) makes it check the certificate's chain, and
// MYSQL_OPT_SSL_VERIFY_SERVER_CERT adds the check of the host name and makes
// it refuse a server without TLS before it logs in. Without that last option
// it goes on in plain TCP when the server has no TLS, so REQUIRED and
// VERIFY_CA check the session right after the connect and end a plain one
// before any statement is sent.
#include <string>

#include "types/db_tls.h"

typedef struct st_mysql MYSQL;

namespace tarnlight::db {

// The files the mode uses must be readable: false with *error naming the
// file (or the missing sslCa) and what is wrong with it.
bool CheckTlsFiles(const DbTls& tls, std::string* error);

// Sets the library's TLS options on a handle before its connect. Nothing
// for DISABLED, so such a connection is exactly what it always was.
void SetTlsOptions(MYSQL* handle, const DbTls& tls);

// After the connect: false with *error when the mode demands TLS and the
// session has none.
bool CheckSessionTls(MYSQL* handle, const DbTls& tls, std::string* error);

// The TLS version and cipher of the session ("TLSv1.3 TLS_AES_256_GCM_SHA384"),
// or "no TLS" for a plain one.
std::string SessionTlsDescription(MYSQL* handle);

}  // namespace tarnlight::db
