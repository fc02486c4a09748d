#pragma once
// A server that greets one client as a MariaDB server without TLS would and
// keeps every byte the client sends, as a man in the middle sees them. It
// never logs anyone in: it answers the login with an error, or first with a
// switch to the cleartext-password method (which would hand it the password).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>

namespace tarnlight::test {

class FakeMysqlServer {
  public:
    enum class Login { Refuse, AskForClearPassword };

    explicit FakeMysqlServer(Login login, std::string greetingMethod = "mysql_native_password")
        : login_(login), greetingMethod_(std::move(greetingMethod)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeMysqlServer() {
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }
    int port() const { return port_; }

    // Every byte the client sent, once it has closed the connection (a
    // client that fails its connect closes before the call returns).
    const std::string& Received() {
        if (thread_.joinable()) thread_.join();
        return received_;
    }

  private:
    static std::string Packet(uint8_t sequence, const std::string& body) {
        const auto n = static_cast<uint32_t>(body.size());
        return std::string{char(n), char(n >> 8), char(n >> 16), char(sequence)} + body;
    }
    std::string Greeting() const {
        // Protocol 41, secure connection, plugin auth, multi results,
        // connect attributes: no CLIENT_SSL (0x800).
        const uint32_t caps = 0x2 | 0x4 | 0x8 | 0x200 | 0x2000 | 0x8000 | 0x3F0000;
        std::string body = std::string("\x0a") + "5.5.5-10.11.19-MariaDB" + '\0';
        body += std::string("\x07\0\0\0", 4) + "abcdefgh" + '\0';
        body += {char(caps), char(caps >> 8), 45, 2, 0, char(caps >> 16), char(caps >> 24), 21};
        body += std::string(10, '\0') + "ijklmnopqrst" + '\0' + greetingMethod_ + '\0';
        return Packet(0, body);
    }
    // One reply per complete packet from the client, until it closes (or
    // ten seconds of silence, so a broken client cannot hang the test).
    void Serve() {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, 10000) != 1) return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        const std::string greeting = Greeting();
        ::send(client, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        bool switched = login_ != Login::AskForClearPassword;
        for (size_t done = 0;;) {
            entry = {client, POLLIN, 0};
            char buffer[4096];
            if (::poll(&entry, 1, 10000) != 1) break;
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received_.append(buffer, static_cast<size_t>(n));
            while (received_.size() - done >= 4) {
                const auto* p = reinterpret_cast<const uint8_t*>(received_.data() + done);
                const size_t size = p[0] | p[1] << 8 | p[2] << 16;
                if (received_.size() - done < 4 + size) break;
                const auto next = static_cast<uint8_t>(p[3] + 1);
                std::string body = "\xff\x15\x04#28000Access denied";
                if (!switched) {
                    body =
                        "\xfe"
                        "mysql_clear_password";
                    body.append(1, '\0').append("abcdefghijklmnopqrst").append(1, '\0');
                }
                const std::string reply = Packet(next, body);
                switched = true;
                ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                done += 4 + size;
            }
        }
        ::close(client);
    }

    Login login_;
    std::string greetingMethod_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::string received_;
};

}  // namespace tarnlight::test
