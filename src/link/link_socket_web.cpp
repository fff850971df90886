// link_socket_web.cpp - the editor link's socket calls in a web page, over
// the browser's WebSocket (emscripten/websocket.h): the follower's code is
// the desktop's, and only these calls differ.
//
// A "socket" is the browser's WebSocket handle. The browser delivers
// messages as events between two frames; they are kept here, in order, and
// link_recv hands them out as one byte stream (the studio's message
// boundaries mean nothing). Nothing waits: connecting, sending and closing
// are the browser's business, and their outcome shows in the next call.
//
// The browser resolves the host itself: link_resolve only checks that the
// address makes a valid ws:// URL (a wrong one would throw in the browser)
// and keeps the URL. A page cannot listen.
#include "link/link_socket.h"

#include <emscripten.h>
#include <emscripten/websocket.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "link/link_protocol.h"

// Bytes that may wait unread for the follower (while the tab is hidden, no
// frame reads them); past this the page drops the link and connects anew.
static const size_t MAX_WAITING = 4 * LINK_MAX_MESSAGE;

struct WebSocketState {
    bool open = false;
    bool ended = false;            // closed, failed or dropped: no more bytes come
    std::vector<uint8_t> in;       // received, from `taken` on
    size_t taken = 0;
};

static std::map<int, WebSocketState> Sockets;

static WebSocketState *state_of(int s)
{
    const auto it = Sockets.find(s);
    return it == Sockets.end() ? nullptr : &it->second;
}

static EM_BOOL on_open(int, const EmscriptenWebSocketOpenEvent *e, void *)
{
    if (WebSocketState *w = state_of(e->socket))
        w->open = true;
    return EM_TRUE;
}

static EM_BOOL on_message(int, const EmscriptenWebSocketMessageEvent *e, void *)
{
    WebSocketState *w = state_of(e->socket);
    if (!w || w->ended)
        return EM_TRUE;
    if (e->isText || w->in.size() - w->taken + e->numBytes > MAX_WAITING) {
        std::printf("follow: %s; the page drops the link\n",
                    e->isText ? "the studio sent a text message" : "too many bytes wait unread");
        w->ended = true;
        emscripten_websocket_close(e->socket, 1000, "");
        return EM_TRUE;
    }
    w->in.insert(w->in.end(), e->data, e->data + e->numBytes);
    return EM_TRUE;
}

static EM_BOOL on_close(int, const EmscriptenWebSocketCloseEvent *e, void *)
{
    if (WebSocketState *w = state_of(e->socket))
        w->ended = true;
    return EM_TRUE;
}

static EM_BOOL on_error(int, const EmscriptenWebSocketErrorEvent *e, void *)
{
    if (WebSocketState *w = state_of(e->socket))
        w->ended = true;
    return EM_TRUE;
}

// A host name of letters, digits, dots and hyphens, or an IPv6 address.
static bool plain_host(const std::string &host)
{
    if (host.empty())
        return false;
    const bool v6 = host.find(':') != std::string::npos;
    for (const char ch : host) {
        const bool ok = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                        ch == '.' || (v6 ? ch == ':' : ch == '-');
        if (!ok)
            return false;
    }
    return true;
}

bool link_resolve(const std::string &host, int port, LinkAddress *a, std::string *error)
{
    if (!plain_host(host)) {
        *error = "\"" + host + "\" is not a host name or address";
        return false;
    }
    // A page served over https may open no plain ws:// link (the browser throws).
    if (EM_ASM_INT({ return location.protocol === 'https:'; })) {
        *error = "a page served over https cannot reach the studio's plain WebSocket";
        return false;
    }
    const bool v6 = host.find(':') != std::string::npos;
    const std::string url = "ws://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
    if (url.size() >= sizeof a->bytes) {
        *error = "the host name " + host + " is too long";
        return false;
    }
    std::memcpy(a->bytes, url.c_str(), url.size() + 1);
    a->len = static_cast<unsigned>(url.size());
    a->family = 0;
    return true;
}

bool link_is_loopback(const LinkAddress &)
{
    return false; // only a listener asks, and a page has none
}

int link_connect_start(const LinkAddress &a, std::string *error)
{
    EmscriptenWebSocketCreateAttributes attributes;
    emscripten_websocket_init_create_attributes(&attributes);
    attributes.url = reinterpret_cast<const char *>(a.bytes);
    attributes.protocols = "dlnk";
    const EMSCRIPTEN_WEBSOCKET_T s = emscripten_websocket_new(&attributes);
    if (s <= 0) {
        *error = "this browser has no WebSocket";
        return -1;
    }
    Sockets[s] = WebSocketState();
    emscripten_websocket_set_onopen_callback(s, nullptr, on_open);
    emscripten_websocket_set_onmessage_callback(s, nullptr, on_message);
    emscripten_websocket_set_onerror_callback(s, nullptr, on_error);
    emscripten_websocket_set_onclose_callback(s, nullptr, on_close);
    return s;
}

int link_connect_state(int s, std::string *error)
{
    const WebSocketState *w = state_of(s);
    if (w && w->open)
        return 1;
    if (w && !w->ended)
        return 0;
    // The browser tells a page nothing of why (the close code is 1006),
    // and a try it has not settled within the follower's patience reads
    // "no answer" too: the same words, so the line is not repeated.
    *error = "no answer";
    return -1;
}

int link_wait_connected(int s, int, std::string *error)
{
    const int r = link_connect_state(s, error); // a page cannot wait
    if (r == 0)
        *error = "no answer";
    return r;
}

long link_send(int s, const void *bytes, size_t n)
{
    const WebSocketState *w = state_of(s);
    if (!w || !w->open || w->ended)
        return -1;
    // The browser takes everything and sends it on its own.
    if (emscripten_websocket_send_binary(s, const_cast<void *>(bytes), static_cast<uint32_t>(n)) !=
        EMSCRIPTEN_RESULT_SUCCESS)
        return -1;
    return static_cast<long>(n);
}

long link_recv(int s, void *bytes, size_t n)
{
    WebSocketState *w = state_of(s);
    if (!w)
        return -1;
    const size_t waiting = w->in.size() - w->taken;
    if (waiting == 0)
        return w->ended ? -1 : 0;
    if (n > waiting)
        n = waiting;
    std::memcpy(bytes, w->in.data() + w->taken, n);
    w->taken += n;
    if (w->taken == w->in.size() || w->taken > MAX_WAITING) {
        w->in.erase(w->in.begin(), w->in.begin() + static_cast<std::ptrdiff_t>(w->taken));
        w->taken = 0;
    }
    return static_cast<long>(n);
}

void link_close(int s)
{
    if (s < 0 || !state_of(s))
        return;
    emscripten_websocket_close(s, 1000, "");
    emscripten_websocket_delete(s);
    Sockets.erase(s);
}

int link_listen(const LinkAddress &, int *port, std::string *error)
{
    *port = 0;
    *error = "a web page cannot listen";
    return -1;
}

int link_accept(int)
{
    return -1;
}

void link_start_sockets()
{
}
