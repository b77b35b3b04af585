#include "prelogin_probe.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <vector>

namespace faq::data {

namespace {

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void closeSocket(Socket s) {
    closesocket(s);
}
int pollOne(Socket s, short events, int ms) {
    WSAPOLLFD p{s, events, 0};
    return WSAPoll(&p, 1, ms);
}
void nonBlocking(Socket s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void closeSocket(Socket s) {
    close(s);
}
int pollOne(Socket s, short events, int ms) {
    pollfd p{s, events, 0};
    return poll(&p, 1, ms);
}
void nonBlocking(Socket s) {
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
}
#endif

// A PRELOGIN message ([MS-TDS] 2.2.6.5): VERSION, then ENCRYPTION offering none.
std::vector<unsigned char> preloginMessage() {
    const unsigned char payload[] = {0x00, 0x00, 0x0B, 0x00, 0x06,               // VERSION at 11, 6 bytes
                                     0x01, 0x00, 0x11, 0x00, 0x01,               // ENCRYPTION at 17, 1 byte
                                     0xFF,                                       // terminator
                                     0x0F, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x00};  // version; ENCRYPT_OFF
    std::vector<unsigned char> m = {0x12, 0x01, 0x00, static_cast<unsigned char>(8 + sizeof payload), 0, 0, 1, 0};
    m.insert(m.end(), payload, payload + sizeof payload);
    return m;
}

}  // namespace

Prelogin probePrelogin(const std::string& server, int timeoutMs) {
    std::string s = server;
    s.erase(0, s.find_first_not_of(' '));
    if (s.size() > 4 && std::equal(s.begin(), s.begin() + 4, "tcp:", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
        s.erase(0, 4);
    if (s.find('\\') != std::string::npos) return Prelogin::Unknown;  // a named instance's port is the browser's
    std::string host = s, port = "1433";
    if (const size_t comma = s.rfind(','); comma != std::string::npos)
        host = s.substr(0, comma), port = s.substr(comma + 1);
    if (host.empty() || host == "." || host == "(local)") host = "127.0.0.1";
#ifdef _WIN32
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return Prelogin::Unknown;
    struct Cleanup {
        ~Cleanup() { WSACleanup(); }
    } cleanup;
#endif
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) return Prelogin::Unknown;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] {
        return static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                   .count()));
    };
    Socket sock = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (sock == kNoSocket) {
        freeaddrinfo(found);
        return Prelogin::Unknown;
    }
    nonBlocking(sock);
    connect(sock, found->ai_addr, static_cast<int>(found->ai_addrlen));
    freeaddrinfo(found);
    Prelogin said = Prelogin::Unknown;
    const auto message = preloginMessage();
    std::vector<unsigned char> in;
    if (pollOne(sock, POLLOUT, left()) > 0 &&
        send(sock, reinterpret_cast<const char*>(message.data()), static_cast<int>(message.size()), 0) ==
            static_cast<int>(message.size())) {
        // The answer: a tabular-result packet whose payload holds the same options.
        while (left() > 0 && pollOne(sock, POLLIN, left()) > 0) {
            char buf[512];
            const auto n = recv(sock, buf, sizeof buf, 0);
            if (n <= 0) break;
            in.insert(in.end(), buf, buf + n);
            if (in.size() >= 8 && in.size() >= static_cast<size_t>(in[2] << 8 | in[3])) break;
        }
    }
    closeSocket(sock);
    if (in.size() < 8 || in[0] != 0x04) return said;
    const size_t length = std::min<size_t>(in.size(), static_cast<size_t>(in[2] << 8 | in[3]));
    const unsigned char* payload = in.data() + 8;
    const size_t size = length - 8;
    for (size_t at = 0; at + 5 <= size && payload[at] != 0xFF; at += 5) {
        if (payload[at] != 0x01) continue;
        const size_t offset = static_cast<size_t>(payload[at + 1] << 8 | payload[at + 2]);
        if (offset >= size) break;
        const unsigned char encryption = payload[offset];
        // ENCRYPT_ON or ENCRYPT_REQ: the login goes encrypted.
        said = encryption == 0x01 || encryption == 0x03 ? Prelogin::Encrypted : Prelogin::Plain;
        break;
    }
    return said;
}

}  // namespace faq::data
