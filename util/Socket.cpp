#include "zentrova/util/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <initializer_list>

namespace {

// One system call moves at most this many bytes; larger requests report a
// short count, which the interface allows.
size_t clampLength(uint64_t length)
{
    return length > static_cast<uint64_t>(SSIZE_MAX) ? static_cast<size_t>(SSIZE_MAX) : static_cast<size_t>(length);
}

} // namespace

Socket::Socket() : fd(-1) {}

Socket::~Socket()
{
    close();
}

Socket::Socket(Socket&& other) noexcept : fd(other.fd)
{
    other.fd = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        fd = other.fd;
        other.fd = -1;
    }
    return *this;
}

void Socket::create()
{
    close();
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        fd = -1;
        throw SocketException();
    }
    const int one = 1;
    // SO_REUSEADDR only: SO_REUSEPORT would let another process bind the same
    // port and take this server's connections.
    for (int option : {SO_REUSEADDR}) {
        if (::setsockopt(fd, SOL_SOCKET, option, &one, sizeof one) != 0) {
            SocketException failure; // captures errno before close() can change it
            close();
            throw failure;
        }
    }
}

void Socket::listen(uint16_t port, uint32_t address)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        throw SocketException();
    if (::listen(fd, 1) != 0)
        throw SocketException();
}

void Socket::accept(Socket& client)
{
    int accepted;
    do {
        accepted = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);
    if (accepted < 0)
        throw SocketException();
    client.close();
    client.fd = accepted;
}

PeerAddress Socket::getAddress()
{
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        SocketException failure;
        close();
        throw failure;
    }
    PeerAddress result;
    result.address = peer.sin_addr.s_addr;
    result.port = peer.sin_port;
    return result;
}

void Socket::setReceiveTimeout(uint32_t milliseconds)
{
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(milliseconds / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0)
        throw SocketException();
}

int64_t Socket::receive(void* buffer, uint64_t length)
{
    ssize_t received;
    do {
        received = ::recv(fd, buffer, clampLength(length), 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return -1;
        throw SocketException();
    }
    return received;
}

int64_t Socket::transmit(const void* buffer, uint64_t length)
{
    ssize_t sent;
    do {
        // MSG_NOSIGNAL: a peer that has gone away must not end the whole
        // process with SIGPIPE; it is reported as EPIPE instead.
        sent = ::send(fd, buffer, clampLength(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        throw SocketException();
    return sent;
}

void Socket::shutdown(ShutdownMode mode)
{
    switch (mode) {
    case Receive:
        (void)::shutdown(fd, SHUT_RD);
        break;
    case Send:
        (void)::shutdown(fd, SHUT_WR);
        break;
    case Both:
        (void)::shutdown(fd, SHUT_RDWR);
        break;
    default:
        break;
    }
}

void Socket::close()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}
