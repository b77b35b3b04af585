// What a SQL Server says to a pre-login of its own: asked after a login that timed out, to
// tell a server that never answered from one that answered and asked for an encrypted
// connection whose handshake then stalled (a TLS version the driver cannot speak).
#pragma once

#include <string>

namespace faq::data {

enum class Prelogin { Unknown, Plain, Encrypted };

// Sends a pre-login to server as the program's server box names it ("host", "host,port",
// "tcp:host,port"; a named instance is not probed) and reads the answer, within timeoutMs.
// Unknown when nothing (or no pre-login answer) came; Plain or Encrypted by what the server
// asks of a client that offers no encryption.
Prelogin probePrelogin(const std::string& server, int timeoutMs);

}  // namespace faq::data
