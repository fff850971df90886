// ws_link.cpp - WebSocket followers on libwebsockets: the handover of an
// HTTP connection, the callbacks that carry link bytes both ways, and the
// close after a bye.
#include "studio/link/ws_link.h"

#include <libwebsockets.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

// What one WebSocket connection keeps of its own: it outlives its
// LinkClient when the studio drops the follower (the bye still goes out),
// and is freed with the connection.
struct WsConn {
    LinkServer *server = nullptr;
    int number = 0;                 // its LinkClient's
    bool upgraded = false;          // the WebSocket handshake is done
    bool closing = false;           // dropped: send `last`, then close
    std::vector<uint8_t> last;
    std::vector<uint8_t> scratch;   // LWS_PRE bytes, then one message
};

static WsConn *conn_of(struct lws *wsi)
{
    return static_cast<WsConn *>(lws_get_opaque_user_data(wsi));
}

// One binary message of up to WS_CHUNK bytes; false when the write failed.
static bool write_message(struct lws *wsi, WsConn *conn, const uint8_t *bytes, size_t n)
{
    conn->scratch.resize(LWS_PRE + n);
    std::memcpy(conn->scratch.data() + LWS_PRE, bytes, n);
    return lws_write(wsi, conn->scratch.data() + LWS_PRE, n, LWS_WRITE_BINARY) >= static_cast<int>(n);
}

// Writable: the next part of the follower's queue, or of the last bytes of
// a dropped one, whose connection then closes. -1 closes it.
static int write_some(struct lws *wsi, WsConn *conn, LinkClient *c)
{
    std::vector<uint8_t> *out = &conn->last;
    size_t from = 0;
    if (!conn->closing) {
        if (!c)
            return -1;
        out = &c->out;
        from = c->out_sent;
    }
    if (from == out->size()) {
        if (!conn->closing)
            return 0;
        lws_close_reason(wsi, LWS_CLOSE_STATUS_NORMAL, nullptr, 0);
        return -1;
    }
    const size_t n = std::min(WS_CHUNK, out->size() - from);
    if (!write_message(wsi, conn, out->data() + from, n)) {
        if (c)
            link_server_drop(conn->server, c, "the link broke", false);
        return -1;
    }
    if (conn->closing) {
        out->erase(out->begin(), out->begin() + static_cast<std::ptrdiff_t>(n));
    } else if ((c->out_sent += n) == c->out.size()) {
        c->out.clear();
        c->out_sent = 0;
    }
    lws_callback_on_writable(wsi); // the rest, or the close
    return 0;
}

static int callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in, size_t len)
{
    WsConn *conn = conn_of(wsi);
    if (!conn)
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    LinkServer *s = conn->server;
    LinkClient *c = conn->closing ? nullptr : link_server_client(s, conn->number);
    switch (reason) {
    case LWS_CALLBACK_HTTP: // a request without an upgrade
        if (c)
            link_server_drop(s, c, "bad greeting: an HTTP request that asks for no WebSocket", false);
        lws_return_http_status(wsi, HTTP_STATUS_BAD_REQUEST, "This is the studio's editor link: WebSocket only.");
        return -1;
    case LWS_CALLBACK_ESTABLISHED:
        conn->upgraded = true;
        return c ? 0 : -1;
    case LWS_CALLBACK_RECEIVE:
        if (!c)
            return 0; // dropped: what still comes is not read
        if (!lws_frame_is_binary(wsi)) {
            link_server_drop(s, c, "bad message: a text WebSocket message", true);
            return 0;
        }
        link_server_take_bytes(s, c, static_cast<const uint8_t *>(in), len);
        return 0;
    case LWS_CALLBACK_SERVER_WRITEABLE:
        return write_some(wsi, conn, c);
    case LWS_CALLBACK_CLOSED:
    case LWS_CALLBACK_WSI_DESTROY:
        if (c) {
            c->ws = nullptr;
            link_server_drop(s, c, conn->upgraded ? "it closed the link" : "the WebSocket handshake failed", false);
        }
        if (reason == LWS_CALLBACK_WSI_DESTROY) {
            lws_set_opaque_user_data(wsi, nullptr);
            delete conn;
        }
        return 0;
    default:
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}

// The link's subprotocol; a page that names none gets it too (the first).
static const struct lws_protocols PROTOCOLS[] = {
    {"dlnk", callback, 0, 4096, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

// libwebsockets' own errors, one line each; its notices are left out.
static void log_line(int, const char *line)
{
    std::fprintf(stderr, "studio: websocket: %s", line);
}

bool open_ws_link(LinkServer *s, std::string *error)
{
    lws_set_log_level(LLL_ERR, log_line);
    lws_context_creation_info info;
    std::memset(&info, 0, sizeof info);
    info.port = CONTEXT_PORT_NO_LISTEN_SERVER; // connections come from the link's listener
    info.protocols = PROTOCOLS;
    info.gid = -1;
    info.uid = -1;
    info.user = s;
    // The followers, the connections being handed over and lws's own few:
    // a small table instead of one sized by the process's file limit.
    info.fd_limit_per_thread = 2 * LINK_SERVER_MAX_FOLLOWERS + 8;
    info.options = LWS_SERVER_OPTION_EXPLICIT_VHOSTS;
    s->ws_context = lws_create_context(&info);
    if (!s->ws_context) {
        *error = "libwebsockets could not start";
        return false;
    }
    info.vhost_name = "link";
    s->ws_vhost = lws_create_vhost(s->ws_context, &info);
    if (!s->ws_vhost) {
        close_ws_link(s);
        *error = "libwebsockets could not make its server";
        return false;
    }
    return true;
}

int peek_http_request(int socket)
{
    char first[4];
    const ssize_t n = recv(socket, first, sizeof first, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    if (n == 0 || std::memcmp(first, "GET ", static_cast<size_t>(n)) != 0)
        return -1;
    return n == 4 ? 1 : 0;
}

void hand_to_ws(LinkServer *s, LinkClient *c)
{
    WsConn *conn = new WsConn;
    conn->server = s;
    conn->number = c->number;
    lws_adopt_desc_t desc;
    std::memset(&desc, 0, sizeof desc);
    desc.vh = s->ws_vhost;
    desc.type = static_cast<lws_adoption_type>(LWS_ADOPT_SOCKET | LWS_ADOPT_HTTP);
    desc.fd.sockfd = c->socket;
    desc.opaque = conn; // set before the first callback
    c->socket = -1;     // libwebsockets' from here on, closed by it even on failure
    c->ws = lws_adopt_descriptor_vhost_via_info(&desc);
    // A failure may have freed conn already (WSI_DESTROY), or not: it is
    // left alone either way.
    if (!c->ws && !c->gone)
        link_server_drop(s, c, "libwebsockets could not take the connection", false);
}

void want_ws_write(LinkClient *c)
{
    if (c->ws)
        lws_callback_on_writable(c->ws);
}

void close_ws_client(LinkClient *c, const std::vector<uint8_t> &last)
{
    WsConn *conn = conn_of(c->ws);
    conn->closing = true;
    if (conn->upgraded) {
        if (!last.empty()) { // what was queued before the bye goes first
            conn->last.assign(c->out.begin() + static_cast<std::ptrdiff_t>(c->out_sent), c->out.end());
            conn->last.insert(conn->last.end(), last.begin(), last.end());
        }
        lws_callback_on_writable(c->ws);
    } else {
        // Still HTTP: closed at its next event, without a word.
        lws_set_timeout(c->ws, PENDING_TIMEOUT_CLOSE_SEND, LWS_TO_KILL_ASYNC);
    }
    c->ws = nullptr;
}

void service_ws_link(LinkServer *s)
{
    if (s->ws_context)
        lws_service(s->ws_context, -1); // -1: poll without waiting
}

void close_ws_link(LinkServer *s)
{
    if (s->ws_context)
        lws_context_destroy(s->ws_context);
    s->ws_context = nullptr;
    s->ws_vhost = nullptr;
}
