#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnlight::test {

// A server that takes the connection and never says a word: the client
// waits for its greeting up to the connect time-out.
class SilentServer {
  public:
    SilentServer() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        // The kernel completes the connection from the backlog; nobody reads.
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(socket_, 4) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() {
        if (socket_ >= 0) ::close(socket_);
    }
    int port() const { return port_; }

  private:
    int socket_ = -1;
    int port_ = 0;
};

}  // namespace tarnlight::test
