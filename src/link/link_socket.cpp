// link_socket.cpp - non-blocking TCP for the editor link. The POSIX calls
// below have Winsock twins (ioctlsocket for the non-blocking switch,
// closesocket, WSAGetLastError); the platform parts are the #ifdef blocks.
#include "link/link_socket.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
typedef int socklen_t;
#else
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
static bool would_block() { return WSAGetLastError() == WSAEWOULDBLOCK; }
static bool set_non_blocking(int s)
{
    u_long on = 1;
    return ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &on) == 0;
}
// Winsock's codes (WSAECONNREFUSED...) are not the C library's: the system
// names them.
static std::string error_text(int code)
{
    char text[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
        n--;
    return n > 0 ? std::string(text, n) : "socket error " + std::to_string(code);
}
static std::string last_error() { return error_text(WSAGetLastError()); }
#else
static std::string error_text(int code) { return std::strerror(code); }
static bool would_block() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
static bool set_non_blocking(int s)
{
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
static std::string last_error() { return std::strerror(errno); }
#endif

bool link_resolve(const std::string &host, int port, LinkAddress *a, std::string *error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (rc != 0 || !list) {
        *error = "cannot find the address of " + host + ": " + gai_strerror(rc);
        return false;
    }
    const bool fits = list->ai_addrlen <= sizeof a->bytes;
    if (fits) {
        std::memcpy(a->bytes, list->ai_addr, list->ai_addrlen);
        a->len = static_cast<unsigned>(list->ai_addrlen);
        a->family = list->ai_family;
    }
    freeaddrinfo(list);
    if (!fits)
        *error = "the address of " + host + " is of an unknown kind";
    return fits;
}

bool link_is_loopback(const LinkAddress &a)
{
    if (a.family == AF_INET) {
        sockaddr_in in;
        std::memcpy(&in, a.bytes, sizeof in);
        return (ntohl(in.sin_addr.s_addr) >> 24) == 127;
    }
    if (a.family == AF_INET6) {
        sockaddr_in6 in6;
        std::memcpy(&in6, a.bytes, sizeof in6);
        static const unsigned char one[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        return std::memcmp(&in6.sin6_addr, one, 16) == 0;
    }
    return false;
}

// A non-blocking stream socket of the address's family, or -1.
static int open_socket(const LinkAddress &a, std::string *error)
{
    const int s = static_cast<int>(socket(a.family, SOCK_STREAM, 0));
    if (s < 0) {
        *error = "cannot make a socket: " + last_error();
        return -1;
    }
    if (!set_non_blocking(s)) {
        *error = "cannot make a socket non-blocking: " + last_error();
        link_close(s);
        return -1;
    }
    return s;
}

int link_connect_start(const LinkAddress &a, std::string *error)
{
    const int s = open_socket(a, error);
    if (s < 0)
        return -1;
    const int one = 1; // requests and keys go out at once, not gathered
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
    if (connect(s, reinterpret_cast<const sockaddr *>(a.bytes), static_cast<socklen_t>(a.len)) == 0)
        return s;
#ifdef _WIN32
    const bool pending = WSAGetLastError() == WSAEWOULDBLOCK;
#else
    const bool pending = errno == EINPROGRESS || errno == EINTR;
#endif
    if (pending)
        return s;
    *error = last_error();
    link_close(s);
    return -1;
}

static int connect_state_after(int s, int ms, std::string *error)
{
#ifdef _WIN32
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLOUT, 0};
    const int n = WSAPoll(&p, 1, ms);
#else
    pollfd p{s, POLLOUT, 0};
    const int n = poll(&p, 1, ms);
#endif
    if (n == 0)
        return 0;
    int err = 0;
    socklen_t len = sizeof err;
    if (n < 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &len) != 0) {
        *error = last_error();
        return -1;
    }
    if (err != 0) {
        *error = error_text(err);
        return -1;
    }
    return 1;
}

int link_connect_state(int s, std::string *error)
{
    return connect_state_after(s, 0, error);
}

int link_wait_connected(int s, int ms, std::string *error)
{
    const int r = connect_state_after(s, ms, error);
    if (r == 0)
        *error = "no answer";
    return r;
}

long link_send(int s, const void *bytes, size_t n)
{
#ifdef _WIN32
    const int r = send(static_cast<SOCKET>(s), static_cast<const char *>(bytes), static_cast<int>(n), 0);
#else
    const ssize_t r = send(s, bytes, n, MSG_NOSIGNAL);
#endif
    if (r >= 0)
        return static_cast<long>(r);
    return would_block() ? 0 : -1;
}

long link_recv(int s, void *bytes, size_t n)
{
#ifdef _WIN32
    const int r = recv(static_cast<SOCKET>(s), static_cast<char *>(bytes), static_cast<int>(n), 0);
#else
    const ssize_t r = recv(s, bytes, n, 0);
#endif
    if (r > 0)
        return static_cast<long>(r);
    if (r == 0)
        return -1; // the peer closed
    return would_block() ? 0 : -1;
}

void link_close(int s)
{
    if (s < 0)
        return;
#ifdef _WIN32
    closesocket(static_cast<SOCKET>(s));
#else
    close(s);
#endif
}

int link_listen(const LinkAddress &a, int *port, std::string *error)
{
    const int s = open_socket(a, error);
    if (s < 0)
        return -1;
#ifndef _WIN32
    const int one = 1; // a studio started again gets its port at once
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
    if (bind(s, reinterpret_cast<const sockaddr *>(a.bytes), static_cast<socklen_t>(a.len)) != 0 ||
        listen(s, 16) != 0) {
        *error = last_error();
        link_close(s);
        return -1;
    }
    unsigned char bound[128];
    socklen_t len = sizeof bound;
    *port = 0;
    if (getsockname(s, reinterpret_cast<sockaddr *>(bound), &len) == 0) {
        if (a.family == AF_INET6) {
            sockaddr_in6 in6;
            std::memcpy(&in6, bound, sizeof in6);
            *port = ntohs(in6.sin6_port);
        } else {
            sockaddr_in in;
            std::memcpy(&in, bound, sizeof in);
            *port = ntohs(in.sin_port);
        }
    }
    return s;
}

int link_accept(int listener)
{
    const int s = static_cast<int>(accept(listener, nullptr, nullptr));
    if (s < 0)
        return -1;
    if (!set_non_blocking(s)) {
        link_close(s);
        return -1;
    }
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
    return s;
}

void link_start_sockets()
{
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#else
    std::signal(SIGPIPE, SIG_IGN);
#endif
}
