// link_host_port.cpp - "HOST:PORT" as the command line and the page give
// it, the same for every platform's socket calls.
#include "link/link_socket.h"

#include <cstdlib>

bool split_host_port(const std::string &text, std::string *host, int *port, bool allow_zero, std::string *error)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        *error = "\"" + text + "\" is not HOST:PORT";
        return false;
    }
    std::string h = text.substr(0, colon);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']')
        h = h.substr(1, h.size() - 2);
    const std::string p = text.substr(colon + 1);
    char *end = nullptr;
    const long v = p.empty() || p.size() > 5 ? -1 : std::strtol(p.c_str(), &end, 10);
    if (h.empty() || v < (allow_zero ? 0 : 1) || v > 65535 || !end || *end || p[0] < '0' || p[0] > '9') {
        *error = "\"" + text + "\" is not HOST:PORT with a port of " + (allow_zero ? "0" : "1") + " to 65535";
        return false;
    }
    *host = h;
    *port = static_cast<int>(v);
    return true;
}
