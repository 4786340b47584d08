// hostaddr: resolve one host name through the system resolver and print its
// addresses, one per line, within a time limit. Scripts read the status:
// 0 resolved, 1 time limit, 2 resolver error, 3 address conversion, 255 usage.

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kExitTimeout = 1;
constexpr int kExitResolver = 2;
constexpr int kExitConvert = 3;
constexpr int kExitUsage = 255;

[[noreturn]] void usage()
{
    std::fputs("Usage:\n"
               "\thostaddr -h\n"
               "\thostaddr [-t timeout] hostname\n"
               "\thostaddr -4 [-t timeout] hostname\n"
               "\thostaddr -6 [-t timeout] hostname\n",
               stdout);
    std::exit(kExitUsage);
}

// The resolver may be stuck anywhere inside libc: only _exit is safe here.
void on_alarm(int)
{
    _exit(kExitTimeout);
}

// A positive decimal number of seconds, nothing else; 0 when it is not one.
unsigned parse_seconds(const char *text)
{
    if (!text || *text < '0' || *text > '9') return 0;
    char *end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (*end != '\0' || v == 0 || v > 86400UL * 365) return 0;
    return static_cast<unsigned>(v);
}

}  // namespace

int main(int argc, char **argv)
{
    int family = AF_UNSPEC;
    unsigned seconds = 3;
    int opt;
    while ((opt = getopt(argc, argv, "46t:h")) != -1) {
        switch (opt) {
        case '4':
            family = AF_INET;
            break;
        case '6':
            family = AF_INET6;
            break;
        case 't':
            seconds = parse_seconds(optarg);
            if (seconds == 0) usage();
            break;
        case 'h':
            usage();
        default:
            break;  // getopt has reported it
        }
    }
    if (optind >= argc) usage();
    const char *host = argv[optind];

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_alarm;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, nullptr);
    alarm(seconds);

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0) return kExitResolver;
    // The limit is for the lookup; once answered, every address is printed.
    alarm(0);

    char text[INET6_ADDRSTRLEN];
    for (const addrinfo *ai = res; ai; ai = ai->ai_next) {
        const void *addr = ai->ai_family == AF_INET
                               ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr)
                               : static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 *>(ai->ai_addr)->sin6_addr);
        if (!inet_ntop(ai->ai_family, addr, text, sizeof text)) {
            freeaddrinfo(res);
            return kExitConvert;
        }
        std::printf("%s\n", text);
    }
    freeaddrinfo(res);
    return 0;
}
