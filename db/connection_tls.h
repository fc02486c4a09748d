#pragma once
// TLS for the mirror's connection, all of it done by MariaDB Connector/C:
// these functions only choose its options and look at what it agreed on.
//
// What the library does with them (Connector/C 3.3, Debian 12):
// MYSQL_OPT_SSL_ENFORCE asks for TLS whenever the server offers it, a CA
// file (MYSQL_OPT_SSL_CA) makes it check the certificate's chain, and
// MYSQL_OPT_SSL_VERIFY_SERVER_CERT adds the check of the host name. Alone,
// ENFORCE goes on with a plain login (user name and password scramble, to
// whoever answers) when the greeting offers no TLS. The library refuses
// such a server before it sends a byte only when the server-certificate
// check or a peer fingerprint is set; REQUIRED and VERIFY_CA must not check
// the host name, so they set an empty fingerprint, which arms that refusal
// and compares nothing once TLS is up (the chain is still checked against
// sslCa). The tests pin both halves of that, for a library that changes it.
//
// MARIADB_OPT_RESTRICTED_AUTH limits the login methods the client answers,
// in every mode: the ones that hand the password itself to the other end
// (cleartext, PAM's dialog, the sha256 methods, which fetch an RSA key from
// the server without TLS) only when TLS with a verified certificate makes
// sure the other end is the server.
#include <string>

#include "types/db_tls.h"

typedef struct st_mysql MYSQL;

namespace tarnlight::db {

// The files the mode uses must be readable: false with *error naming the
// file (or the missing sslCa) and what is wrong with it.
bool CheckTlsFiles(const DbTls& tls, std::string* error);

// Sets the library's TLS options and the allowed login methods on a handle
// before its connect (for DISABLED only the login methods). False with
// *error when the library refuses an option, so no connect is tried
// without the protection.
bool SetTlsOptions(MYSQL* handle, const DbTls& tls, std::string* error);

// The login methods (client plugins) the client answers under the mode, as
// MARIADB_OPT_RESTRICTED_AUTH takes them.
const char* AllowedLoginMethods(SslMode mode);

// Adds to *error, when the connect failed because the server asked for a
// login method the mode does not answer, which methods the mode answers.
void ExplainRefusedLoginMethod(MYSQL* handle, const DbTls& tls, std::string* error);

// After the connect: false with *error when the mode demands TLS and the
// session has none.
bool CheckSessionTls(MYSQL* handle, const DbTls& tls, std::string* error);

// The TLS version and cipher of the session ("TLSv1.3 TLS_AES_256_GCM_SHA384"),
// or "no TLS" for a plain one.
std::string SessionTlsDescription(MYSQL* handle);

}  // namespace tarnlight::db
