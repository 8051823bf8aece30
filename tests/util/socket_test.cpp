// Sockets on the loopback interface only.
#include "zentrova/util/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

// A port that is free on the loopback interface right now.
uint16_t freeLoopbackPort()
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        ADD_FAILURE() << "no free port: " << std::strerror(errno);
    ::close(s);
    return ntohs(a.sin_port);
}

// Plain client descriptor connected to 127.0.0.1:port.
int connectLoopback(uint16_t port)
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ADD_FAILURE() << "connect: " << std::strerror(errno);
        ::close(s);
        return -1;
    }
    return s;
}

class SocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = freeLoopbackPort();
        server.create();
        server.listen(port, INADDR_LOOPBACK);
        client = connectLoopback(port);
        ASSERT_GE(client, 0);
        server.accept(connection);
    }
    void TearDown() override
    {
        if (client >= 0)
            ::close(client);
    }
    uint16_t port = 0;
    Socket server, connection;
    int client = -1;
};

TEST_F(SocketTest, AcceptedPeerAddressIsTheClient)
{
    sockaddr_in local{};
    socklen_t len = sizeof local;
    ASSERT_EQ(::getsockname(client, reinterpret_cast<sockaddr*>(&local), &len), 0);
    const PeerAddress peer = connection.getAddress();
    EXPECT_EQ(peer.address, htonl(INADDR_LOOPBACK)); // network byte order, as reported
    EXPECT_EQ(peer.port, local.sin_port);
}

TEST_F(SocketTest, TransmitAndReceive)
{
    EXPECT_EQ(connection.transmit("hello", 5), 5);
    char buf[16] = {};
    ASSERT_EQ(::recv(client, buf, sizeof buf, 0), 5);
    EXPECT_STREQ(buf, "hello");

    ASSERT_EQ(::send(client, "reply!", 6, 0), 6);
    char in[16] = {};
    EXPECT_EQ(connection.receive(in, sizeof in), 6);
    EXPECT_STREQ(in, "reply!");
}

TEST_F(SocketTest, ReceiveTimeoutReturnsMinusOneAndSocketStaysUsable)
{
    connection.setReceiveTimeout(999); // 0 s + 999000 us
    char buf[8];
    const auto start = Clock::now();
    EXPECT_EQ(connection.receive(buf, sizeof buf), -1);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.0);

    ASSERT_EQ(::send(client, "x", 1, 0), 1);
    EXPECT_EQ(connection.receive(buf, sizeof buf), 1);

    connection.setReceiveTimeout(0); // no timeout again: a close still ends the wait
    ::close(client);
    client = -1;
    EXPECT_EQ(connection.receive(buf, sizeof buf), 0);
}

TEST_F(SocketTest, PeerCloseReceivesZero)
{
    ::close(client);
    client = -1;
    char buf[8];
    EXPECT_EQ(connection.receive(buf, sizeof buf), 0);
}

TEST_F(SocketTest, ShutdownModes)
{
    connection.shutdown(static_cast<Socket::ShutdownMode>(3)); // does nothing
    connection.shutdown(static_cast<Socket::ShutdownMode>(-1));
    EXPECT_EQ(connection.transmit("a", 1), 1);
    char buf[4];
    ASSERT_EQ(::recv(client, buf, sizeof buf, 0), 1);

    connection.shutdown(Socket::Send);
    EXPECT_EQ(::recv(client, buf, sizeof buf, 0), 0); // end of stream seen by the client
    ASSERT_EQ(::send(client, "b", 1, 0), 1);          // the other direction still works
    EXPECT_EQ(connection.receive(buf, sizeof buf), 1);
}

TEST_F(SocketTest, TransmitToVanishedPeerThrowsInsteadOfSignal)
{
    ::close(client);
    client = -1;
    int error = 0;
    for (int i = 0; i < 200 && !error; ++i) {
        try {
            connection.transmit("data", 4);
        } catch (const SocketException& e) {
            error = e.getErrorCode();
            EXPECT_STRNE(e.what(), "");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
}

TEST(Socket, CloseIsIdempotent)
{
    Socket never;
    EXPECT_NO_THROW(never.close());
    EXPECT_NO_THROW(never.close());

    Socket s;
    s.create();
    s.close();
    EXPECT_NO_THROW(s.close());
    Socket moved(std::move(s));
    EXPECT_NO_THROW(moved.close());
}

TEST(Socket, FailuresCarryTheErrorNumberAndText)
{
    Socket never;
    Socket client;
    try {
        never.accept(client);
        FAIL() << "no exception";
    } catch (const SocketException& e) {
        EXPECT_EQ(e.getErrorCode(), EBADF);
        EXPECT_STREQ(e.what(), std::strerror(EBADF));
        SocketException copy(e);
        EXPECT_STREQ(copy.what(), e.what());
    }
    try {
        never.getAddress();
        FAIL() << "no exception";
    } catch (const SocketException& e) {
        EXPECT_EQ(e.getErrorCode(), EBADF);
    }
}

TEST(Socket, BindToPortInUseThrowsAndSocketStaysOpen)
{
    // A listener without SO_REUSEPORT keeps the port to itself.
    const uint16_t port = freeLoopbackPort();
    int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(holder, 1), 0);

    Socket s;
    s.create();
    try {
        s.listen(port, INADDR_LOOPBACK);
        FAIL() << "no exception";
    } catch (const SocketException& e) {
        EXPECT_EQ(e.getErrorCode(), EADDRINUSE);
    }
    ::close(holder);
    // The same socket binds elsewhere afterwards.
    const uint16_t other = freeLoopbackPort();
    EXPECT_NO_THROW(s.listen(other, INADDR_LOOPBACK));
    int c = connectLoopback(other);
    Socket conn;
    s.accept(conn);
    EXPECT_EQ(conn.transmit("ok", 2), 2);
    ::close(c);
}

} // namespace
