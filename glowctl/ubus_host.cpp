// Host bus backend: each object listens on its own Unix stream socket
// <root>/var/run/ubus-host/<object>.sock and answers one request line per
// connection with one reply line. The sandbox's ubus client forwards
// "ubus call <object> ..." there.
#include "glowctl/sys.h"
#include "glowctl/ubus_request.h"
#include "glowctl/ubus_service.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kMaxLine = 65536;
constexpr int kClientTimeoutMs = 2000;

struct host_bus {
    std::string dir;
    struct entry {
        int fd;
        const glow_object *object;
    };
    std::vector<entry> objects;
};

bool make_dirs(const std::string &dir)
{
    for (std::size_t i = 1; i <= dir.size(); ++i) {
        if (i < dir.size() && dir[i] != '/') continue;
        std::string part = dir.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// One request per connection; a client that stalls is dropped so it cannot
// hold the service.
void serve_client(int fd, const glow_object &object)
{
    std::string line;
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, kClientTimeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        line.append(buf, static_cast<std::size_t>(n));
        if (line.find('\n') != std::string::npos) break;
        if (line.size() > kMaxLine) return;
    }
    std::size_t nl = line.find('\n');
    if (nl == std::string::npos) {
        if (line.empty()) return;
    } else {
        line.resize(nl);
    }
    std::string reply = ubus_dispatch(object, line) + "\n";
    std::size_t off = 0;
    while (off < reply.size()) {
        ssize_t w = send(fd, reply.data() + off, reply.size() - off, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        off += static_cast<std::size_t>(w);
    }
}

}  // namespace

extern "C" {

void *glow_bus_connect(void)
{
    char dir[256];
    if (!glow_path(dir, sizeof dir, "/var/run/ubus-host")) return nullptr;
    if (!make_dirs(dir)) return nullptr;
    host_bus *bus = new host_bus;
    bus->dir = dir;
    return bus;
}

int glow_bus_add(void *b, const glow_object *object)
{
    host_bus *bus = static_cast<host_bus *>(b);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    int n = snprintf(addr.sun_path, sizeof addr.sun_path, "%s/%s.sock", bus->dir.c_str(), object->name);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof addr.sun_path) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    unlink(addr.sun_path);  // a socket left by an earlier run
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    bus->objects.push_back({fd, object});
    return 0;
}

void glow_bus_run(void *b)
{
    host_bus *bus = static_cast<host_bus *>(b);
    std::vector<pollfd> fds;
    for (const host_bus::entry &e : bus->objects) fds.push_back({e.fd, POLLIN, 0});
    for (;;) {
        int r = poll(fds.data(), fds.size(), -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            int c = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            serve_client(c, *bus->objects[i].object);
            close(c);
        }
    }
}

void glow_bus_free(void *b)
{
    host_bus *bus = static_cast<host_bus *>(b);
    if (!bus) return;
    for (const host_bus::entry &e : bus->objects) close(e.fd);
    delete bus;
}

}  // extern "C"
