// Sockets on the loopback interface only.
#include "zentrova/util/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

namespace {

// A plain descriptor bound to 127.0.0.1:port (sharing it with SO_REUSEPORT
// when asked), or connected to it.
int loopback(uint16_t port, bool connectTo, int share = 0)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const auto* address = reinterpret_cast<const sockaddr*>(&a);
    if (s < 0 || ::setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &share, sizeof share) != 0 ||
        (connectTo ? ::connect(s, address, sizeof a) : ::bind(s, address, sizeof a)) != 0)
        ADD_FAILURE() << (connectTo ? "connect: " : "bind: ") << std::strerror(errno);
    return s;
}

uint16_t portOf(int s)
{
    sockaddr_in a{};
    socklen_t length = sizeof a;
    EXPECT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length), 0);
    return ntohs(a.sin_port);
}

// A port that is free on the loopback interface right now.
uint16_t freePort()
{
    const int s = loopback(0, false);
    const uint16_t port = portOf(s);
    ::close(s);
    return port;
}

// The error number of the SocketException that `f` throws (0: none); its
// text, also in a copy, is the system's text for it.
template <typename F>
int errorOf(F f)
{
    try {
        f();
    } catch (const SocketException& e) {
        EXPECT_STREQ(SocketException(e).what(), std::strerror(e.getErrorCode()));
        return e.getErrorCode();
    }
    return 0;
}

// A Socket connection accepted from a plain client descriptor.
class SocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = freePort();
        server.create();
        server.listen(port, INADDR_LOOPBACK);
        client = loopback(port, true);
        server.accept(connection);
    }
    void TearDown() override { closeClient(); }
    void closeClient()
    {
        if (client >= 0)
            ::close(client);
        client = -1;
    }
    Socket server, connection;
    int client = -1;
    uint16_t port = 0;
};

// Whether the peer of `fd` closed the connection (waits up to 2 s).
bool closedByPeer(int fd)
{
    pollfd p{fd, POLLIN, 0};
    char c;
    return ::poll(&p, 1, 2000) == 1 && ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

TEST_F(SocketTest, TransmitReceivePeerAddressAndShutdown)
{
    const PeerAddress peer = connection.getAddress();
    EXPECT_EQ(peer.address, htonl(INADDR_LOOPBACK)); // network byte order, as reported
    EXPECT_EQ(peer.port, htons(portOf(client)));

    connection.shutdown(static_cast<Socket::ShutdownMode>(3)); // does nothing
    EXPECT_EQ(connection.transmit("", 0), 0);
    EXPECT_EQ(connection.transmit("hello", 5), 5);
    char buf[16] = {};
    ASSERT_EQ(::recv(client, buf, sizeof buf, 0), 5);
    EXPECT_STREQ(buf, "hello");

    connection.shutdown(Socket::Send);
    EXPECT_EQ(::recv(client, buf, sizeof buf, 0), 0); // end of stream seen by the client
    ASSERT_EQ(::send(client, "reply!", 6, 0), 6);     // the other direction still works
    EXPECT_EQ(connection.receive(buf, sizeof buf), 6);
    EXPECT_STREQ(buf, "reply!");
}

TEST_F(SocketTest, ReceiveTimeoutAndPeerClose)
{
    connection.setReceiveTimeout(999); // 0 s + 999000 us
    char buf[8];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.receive(buf, sizeof buf), -1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.0);
    // Still usable afterwards; with no timeout again a close still ends the wait.
    ASSERT_EQ(::send(client, "x", 1, 0), 1);
    EXPECT_EQ(connection.receive(buf, sizeof buf), 1);
    connection.setReceiveTimeout(0);
    closeClient();
    EXPECT_EQ(connection.receive(buf, sizeof buf), 0);
    // Transmitting to the vanished peer throws instead of raising SIGPIPE.
    int error = 0;
    for (int i = 0; i < 200 && !error; ++i) {
        error = errorOf([&] { connection.transmit("data", 4); });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
}

// Accepting into an open socket, or moving another over it, closes the
// connection it held.
TEST_F(SocketTest, ReplacingAConnectionClosesIt)
{
    const int second = loopback(port, true), third = loopback(port, true);
    server.accept(connection);
    EXPECT_TRUE(closedByPeer(client));
    Socket other;
    server.accept(other);
    connection = std::move(other);
    EXPECT_TRUE(closedByPeer(second));
    EXPECT_EQ(connection.transmit("x", 1), 1);
    char c;
    EXPECT_EQ(::recv(third, &c, 1, 0), 1);
    ::close(second);
    ::close(third);
}

TEST(Socket, UnopenedSocketAndAPortInUse)
{
    Socket never, client;
    EXPECT_EQ(errorOf([&] { never.accept(client); }), EBADF);
    EXPECT_EQ(errorOf([&] { never.getAddress(); }), EBADF);

    // A listener that allows port sharing still keeps its port from ours:
    // the server socket never sets SO_REUSEPORT itself.
    const int holder = loopback(0, false, 1);
    ASSERT_EQ(::listen(holder, 1), 0);
    Socket s;
    s.create();
    EXPECT_EQ(errorOf([&] { s.listen(portOf(holder), INADDR_LOOPBACK); }), EADDRINUSE);
    ::close(holder);
    EXPECT_NO_THROW(s.listen(freePort(), INADDR_LOOPBACK)); // the socket stayed open
}

} // namespace
