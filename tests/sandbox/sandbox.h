// Helpers for end-to-end tests in the sandboxed router (tests/sandbox/sandbox
// does the work; see README.md there for the layout and the stand-ins).
//
//   TEST(Uplink, AppliesWan) {
//       RT_SANDBOX_REQUIRE();
//       rt::Sandbox sb;
//       ASSERT_TRUE(sb.up());
//       sb.spawn({"/path/to/uplinkd"}, "uplinkd.log");
//       EXPECT_TRUE(sb.wait_for_call("ubus", "syswan modify", 10000));
//   }
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Skips the current GoogleTest test with one line when the sandbox cannot run.
#define RT_SANDBOX_REQUIRE()                                          \
    do {                                                              \
        if (!::rt::Sandbox::available())                              \
            GTEST_SKIP() << ::rt::Sandbox::skip_reason();             \
    } while (0)

namespace rt {

// A small JSON reader for the state files and the call log.
namespace json {

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;                                   // String
    std::vector<Value> items;                           // Array
    std::vector<std::pair<std::string, Value>> members;  // Object, in document order

    // Member by key (the last one when repeated); nullptr when absent or not an object.
    const Value *get(std::string_view key) const;
    bool is_null() const { return kind == Null; }
};

// nullopt when `text` is not one JSON document. \u escapes of the raw bytes
// 0x80-0xFF that the stand-ins write for undecodable input come back as those bytes.
std::optional<Value> parse(std::string_view text);

}  // namespace json

// One call of a stand-in command, from STATE/calls.log.
struct Call {
    double t = 0;                      // CLOCK_MONOTONIC seconds
    std::string prog;                  // name as called: "wifi", "/sbin/wifi", "/etc/init.d/dnsmasq"
    std::vector<std::string> argv;     // argv[0] == prog
    std::optional<std::string> stdin_text;

    // prog or its base name equals `name`.
    bool is(std::string_view name) const;
    // The arguments after argv[0] joined with single blanks.
    std::string args() const;
};

using Frame = std::vector<std::uint8_t>;

// An AF_PACKET raw socket bound to one interface inside the sandbox.
class PacketSocket {
public:
    PacketSocket() = default;
    explicit PacketSocket(int fd) : fd_(fd) {}
    PacketSocket(PacketSocket &&o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    PacketSocket &operator=(PacketSocket &&o) noexcept;
    PacketSocket(const PacketSocket &) = delete;
    PacketSocket &operator=(const PacketSocket &) = delete;
    ~PacketSocket();

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The whole frame, destination MAC first.
    bool send_frame(std::span<const std::uint8_t> frame) const;
    // The next frame that arrived (frames this socket's interface sent are
    // skipped); nullopt after timeout_ms.
    std::optional<Frame> recv_frame(int timeout_ms) const;

private:
    int fd_ = -1;
};

class Sandbox {
public:
    // Root, unshare and nsenter present, and namespaces can be created.
    static bool available();
    static const char *skip_reason();

    // State in a fresh directory under $TMPDIR (or /tmp), removed by the
    // destructor unless RT_SANDBOX_KEEP is set.
    Sandbox();
    // State in `state_dir`, which is left in place.
    explicit Sandbox(std::string state_dir);
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    // Build tree the stand-ins use (bin/uci); default RT_BINARY_DIR. Before up().
    void set_binary_dir(std::string dir) { binary_dir_ = std::move(dir); }

    // Lays the sandbox out (the default fixtures, then each DIR's config/,
    // fix/, bin/, initd/, etc/, tmp/, root/, syswan.json, netifd.json).
    bool up(const std::vector<std::string> &fixture_dirs = {});
    // Kills everything inside; safe to call twice.
    bool down();
    bool is_up() const { return up_; }

    // Runs argv inside and waits. Returns the exit status (-1: could not run,
    // 128+N: killed by signal N). `out` collects standard output.
    int exec(const std::vector<std::string> &argv, std::string *out = nullptr,
             std::string_view input = {}, int timeout_ms = 60000);
    // Starts argv inside in the background, standard output and error to
    // path(logname). Returns the host PID, -1 on failure.
    pid_t spawn(const std::vector<std::string> &argv, const std::string &logname);
    // SIGTERM, then SIGKILL after grace_ms; true once the process is gone.
    static bool stop(pid_t pid, int grace_ms = 2000);
    // Runs fn in a child process that has entered the sandbox's namespaces
    // (PATH and environment as for exec); returns fn's result as the exit
    // status. For library code that must see the router's paths.
    int run_inside(const std::function<int()> &fn);

    const std::string &state() const { return state_; }
    std::string path(std::string_view rel) const;
    std::string read(std::string_view rel) const;  // empty when missing
    bool write(std::string_view rel, std::string_view text) const;

    std::vector<Call> calls() const;
    // Waits for a call of `prog` whose arguments or stdin contain `substring`,
    // among the calls from index `from` on.
    bool wait_for_call(std::string_view prog, std::string_view substring, int timeout_ms,
                       std::size_t from = 0) const;
    // A UCI value read through the uci command inside (not logged as a call).
    std::optional<std::string> uci_get(std::string_view key);

    // Raw socket on the ONT-side peer of a router port: "eth3" -> p-eth3.
    PacketSocket peer_socket(std::string_view port, std::uint16_t ethertype = 0x88CC) const;
    // Raw socket on any interface of the sandbox by its own name.
    PacketSocket packet_socket(std::string_view ifname, std::uint16_t ethertype = 0x88CC) const;
    // The same through one LLDP peer socket per port, kept open from its
    // first use so no frame in between is missed.
    bool send_frame(std::string_view port, std::span<const std::uint8_t> frame);
    std::optional<Frame> recv_frame(std::string_view port, int timeout_ms);

    // Host PID of the process holding the namespaces, -1 when down.
    pid_t holder_pid() const;
    static std::string launcher();

private:
    int launch(const std::vector<std::string> &args, std::string *out = nullptr,
               std::string_view input = {}, int timeout_ms = 60000);

    PacketSocket &peer(std::string_view port);

    std::string state_;
    std::string binary_dir_;
    std::map<std::string, PacketSocket, std::less<>> peers_;
    bool owns_state_ = false;
    bool up_ = false;
};

}  // namespace rt
