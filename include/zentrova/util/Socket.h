// IPv4 TCP stream socket for a small server: listen on a port, accept one
// client at a time, exchange blocks with an optional receive timeout.
#ifndef ZENTROVA_UTIL_SOCKET_H
#define ZENTROVA_UTIL_SOCKET_H

#include <cstdint>

#include "zentrova/export.h"
#include "zentrova/util/SocketException.h"

/// Address of a connected peer, both fields in network byte order exactly as
/// the socket layer reports them.
struct ZENTROVA_API PeerAddress {
    uint32_t address;
    uint16_t port;
};

/// Owns one socket descriptor (-1 while it holds none); system-call failures
/// throw SocketException.
class ZENTROVA_API Socket {
public:
    /// Directions for shutdown(), the values of SHUT_RD, SHUT_WR and SHUT_RDWR.
    enum ShutdownMode : int { Receive = 0, Send = 1, Both = 2 };

    Socket();
    ~Socket(); ///< closes the descriptor as close() does

    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    /// New IPv4 TCP socket with SO_REUSEADDR set (a socket already held is
    /// closed first). SO_REUSEPORT is not set: no other process can bind the
    /// same port and take this server's connections.
    void create();
    /// Binds to `port` and listens with a backlog of 1. `address` is the local
    /// IPv4 address in host byte order; the default 0 (INADDR_ANY) means every
    /// local address, INADDR_LOOPBACK the loopback interface only. A failed
    /// bind or listen throws SocketException; the socket stays open.
    void listen(uint16_t port, uint32_t address = 0);
    /// Waits for a connection and gives its descriptor to `client` (closing
    /// whatever `client` held before).
    void accept(Socket& client);
    /// Address of the connected peer; a failure closes this socket and throws.
    PeerAddress getAddress();
    /// Receive timeout in milliseconds; 0 means none.
    void setReceiveTimeout(uint32_t milliseconds);
    /// Bytes received, 0 when the peer has closed the connection, -1 when the
    /// receive timeout expired.
    int64_t receive(void* buffer, uint64_t length);
    /// Bytes handed to the socket (possibly fewer than `length`). A peer that
    /// has gone away is reported as SocketException (EPIPE), never as a signal.
    int64_t transmit(const void* buffer, uint64_t length);
    /// Shuts down one direction; other values do nothing and failures are ignored.
    void shutdown(ShutdownMode mode);
    /// Closes the descriptor when one is held.
    void close();

private:
    int fd;
};

#endif
