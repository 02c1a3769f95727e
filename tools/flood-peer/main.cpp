// A back-end that floods, run as its own process so that its sending never
// waits on the event loop of the program under test:
//   flood_peer pings       stream handshakes answered, then ping frames without
//                          end; nothing the client sends is ever read
//   flood_peer pings-read  the same, reading (and dropping) what the client sends
//   flood_peer chunked     every HTTP request answered 200 with an endless
//                          chunked body, at 32 MiB/s: faster than any link the
//                          companion meets, yet not loopback's gigabytes, which
//                          Qt's network thread reads ahead without bound while
//                          a loaded machine keeps the receiving thread waiting
// It listens on a free port of 127.0.0.1, prints the port on its first line
// and serves one connection at a time until the client goes away. It stops
// when its standard input closes (the test ends) or after ten minutes.

#include <arpa/inet.h>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum class Mode { pings, pingsRead, chunked };

constexpr time_t lifetimeSeconds = 10 * 60;
constexpr double chunkedBytesPerSecond = 32.0 * 1024 * 1024;
constexpr std::string_view streamAnswer
    = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Accept: ";

// The base64 SHA-1 of the key and the protocol's GUID: the handshake answer
// QWebSocket checks.
std::string acceptFor(const std::string& key)
{
    const std::string input = key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(input.data(), input.size(), digest, &digestLength, EVP_sha1(), nullptr);
    unsigned char encoded[64] = {};
    EVP_EncodeBlock(encoded, digest, int(digestLength));
    return reinterpret_cast<const char*>(encoded);
}

std::string headerValue(const std::string& head, const std::string& name)
{
    const std::size_t at = head.find(name + ": ");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 2;
    return head.substr(start, head.find("\r\n", start) - start);
}

bool sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

void drain(int fd)
{
    char buffer[65536];
    while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) { }
}

void serve(int fd, Mode mode)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        head.append(buffer, std::size_t(n));
    }
    std::string batch;
    if (mode == Mode::chunked) {
        if (!sendAll(fd,
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n"))
            return;
        batch = "8000\r\n" + std::string(0x8000, ' ') + "\r\n";
    } else {
        if (!sendAll(fd,
                std::string(streamAnswer) + acceptFor(headerValue(head, "Sec-WebSocket-Key")) + "\r\n\r\n"))
            return;
        const std::string ping = "\x89\x7d" + std::string(125, 'p'); // unmasked, 125 bytes of payload
        for (int i = 0; i < 512; ++i)
            batch += ping;
    }
    const time_t start = time(nullptr);
    timespec began {};
    clock_gettime(CLOCK_MONOTONIC, &began);
    double sent = 0;
    while (time(nullptr) - start < lifetimeSeconds && sendAll(fd, batch)) {
        if (mode == Mode::pingsRead)
            drain(fd);
        if (mode != Mode::chunked)
            continue;
        sent += double(batch.size());
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double elapsed = double(now.tv_sec - began.tv_sec) + double(now.tv_nsec - began.tv_nsec) / 1e9;
        const double ahead = sent / chunkedBytesPerSecond - elapsed;
        if (ahead > 0) {
            const timespec pause { time_t(ahead), long((ahead - double(time_t(ahead))) * 1e9) };
            nanosleep(&pause, nullptr);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string_view name = argc > 1 ? argv[1] : "";
    const Mode mode = name == "pings-read" ? Mode::pingsRead
        : name == "chunked"                ? Mode::chunked
                                           : Mode::pings;

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || listen(listener, 8) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("flood_peer");
        return 1;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    const time_t start = time(nullptr);
    pollfd watched[2] = { { listener, POLLIN, 0 }, { STDIN_FILENO, POLLIN, 0 } };
    while (time(nullptr) - start < lifetimeSeconds) {
        if (poll(watched, 2, 1000) < 0)
            break;
        if (watched[1].revents != 0) {
            char ignored[64];
            if (read(STDIN_FILENO, ignored, sizeof ignored) <= 0)
                break;
        }
        if (watched[0].revents & POLLIN) {
            const int connection = accept(listener, nullptr, nullptr);
            if (connection >= 0) {
                serve(connection, mode);
                close(connection);
            }
        }
    }
    close(listener);
    return 0;
}
