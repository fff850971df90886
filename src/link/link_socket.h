// link_socket.h - the few socket calls of the editor link, non-blocking, on
// POSIX sockets (Winsock has the same calls: send, recv, closesocket,
// htonl; the differences stay inside link_socket.cpp). A socket is an int,
// -1 for none, as the sync device keeps its link.
//
// Nothing here waits except link_resolve (a name lookup, at start-up) and
// link_wait_connected (start-up only, bounded by its argument).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A resolved address: the bytes of a socket address, kept so that
// reconnecting never looks a name up again.
struct LinkAddress {
    unsigned char bytes[128] = {};
    unsigned len = 0;
    int family = 0;
};

// "HOST:PORT" or "[V6]:PORT", port 1..65535 (0 too when `allow_zero`, for a
// listener that takes any free port). False with a reason on a bad form.
bool split_host_port(const std::string &text, std::string *host, int *port, bool allow_zero, std::string *error);

// Looks HOST up (numeric addresses or names) and fills *a with the first
// address that fits a stream socket. False with a reason.
bool link_resolve(const std::string &host, int port, LinkAddress *a, std::string *error);

// Whether an address is a loopback one (127.0.0.0/8, ::1).
bool link_is_loopback(const LinkAddress &a);

// Starts a connection: a non-blocking socket whose connect is under way
// (or done), or -1 with a reason.
int link_connect_start(const LinkAddress &a, std::string *error);

// Where a started connection stands: 1 connected, 0 still under way, -1
// failed (reason in *error). Never waits.
int link_connect_state(int s, std::string *error);

// Start-up only: waits at most `ms` for a started connection.
int link_wait_connected(int s, int ms, std::string *error);

// Sends what the socket takes now: the bytes sent (0 when it takes nothing
// now), or -1 when the link is broken. A closed peer never raises a signal.
long link_send(int s, const void *bytes, size_t n);

// Receives what has arrived, at most n bytes: the count, 0 when nothing is
// there now, or -1 when the peer closed or the link broke.
long link_recv(int s, void *bytes, size_t n);

void link_close(int s);

// A listening non-blocking socket on the address, or -1 with a reason
// ("address in use" among them). *port is the port it got (for port 0).
int link_listen(const LinkAddress &a, int *port, std::string *error);

// A waiting connection as a non-blocking socket, or -1 when none waits.
int link_accept(int listener);

// The socket layer's start (Winsock's start-up; nothing on POSIX) and the
// process-wide setting that keeps a send to a closed peer from ending the
// process (the sync device sends with flags 0).
void link_start_sockets();
