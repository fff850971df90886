// ws_link.h - the studio's link server for followers in web pages: the same
// link over WebSocket, on the same port (docs/link-protocol.md, "WebSocket").
//
// libwebsockets does the HTTP upgrade and the WebSocket framing; it has no
// listener of its own. The link server accepts every connection, and one
// whose first bytes are an HTTP request (peek_http_request, which reads
// nothing) is handed over (hand_to_ws). Once upgraded, the follower's binary messages are
// its link bytes (link_server_take_bytes), and its queued bytes go out as
// binary messages of at most WS_CHUNK bytes: message boundaries mean
// nothing, the link is one byte stream both ways. A text message is refused.
//
// The follower keeps its LinkClient, number and lines; only its socket is
// libwebsockets'. Everything runs inside poll_link_server (service_ws_link
// never waits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "studio/link/link_server.h"

constexpr size_t WS_CHUNK = 64 * 1024; // bytes of one WebSocket message the studio sends, at most

// Makes the server's WebSocket side; false with a reason (the studio then
// serves plain followers only).
bool open_ws_link(LinkServer *s, std::string *error);

// Whether a fresh connection's first bytes are "GET ": 1 yes, -1 no (or
// it closed), 0 not known yet (nothing came, or only the start of "GET ").
// The bytes stay unread.
int peek_http_request(int socket);

// A connection whose first bytes are an HTTP request: its socket goes to
// libwebsockets. A failure drops it with a line.
void hand_to_ws(LinkServer *s, LinkClient *c);

// The follower has bytes queued: they go out in the next service.
void want_ws_write(LinkClient *c);

// Ends a WebSocket follower's link: when `last` (a bye) is not empty, what
// was queued and then `last` go out; then the WebSocket close. c->ws is
// null afterwards.
void close_ws_client(LinkClient *c, const std::vector<uint8_t> &last);

// Reads and writes what the WebSocket connections have ready; never waits.
void service_ws_link(LinkServer *s);

void close_ws_link(LinkServer *s);
