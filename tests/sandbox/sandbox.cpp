#include "tests/sandbox/sandbox.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/runner.h"

#ifndef RT_SANDBOX_SOURCE_DIR
#define RT_SANDBOX_SOURCE_DIR "tests/sandbox"
#endif

namespace rt {

// ------------------------------------------------------------------ json

namespace json {
namespace {

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    bool document(Value &v)
    {
        if (!value(v, 0)) return false;
        blanks();
        return pos_ == s_.size();
    }

private:
    static constexpr int kMaxDepth = 64;

    void blanks()
    {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }

    bool literal(std::string_view word)
    {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool value(Value &v, int depth)
    {
        if (depth > kMaxDepth) return false;
        blanks();
        if (pos_ >= s_.size()) return false;
        char c = s_[pos_];
        if (c == '{') return object(v, depth);
        if (c == '[') return array(v, depth);
        if (c == '"') {
            v.kind = Value::String;
            return string(v.text);
        }
        if (literal("true")) {
            v.kind = Value::Bool;
            v.boolean = true;
            return true;
        }
        if (literal("false")) {
            v.kind = Value::Bool;
            return true;
        }
        if (literal("null")) {
            v.kind = Value::Null;
            return true;
        }
        return number(v);
    }

    bool number(Value &v)
    {
        std::size_t start = pos_;
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        auto digits = [&] {
            std::size_t d = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
            return pos_ > d;
        };
        if (!digits()) return false;
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (!digits()) return false;
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (!digits()) return false;
        }
        v.kind = Value::Number;
        v.number = std::strtod(std::string(s_.substr(start, pos_ - start)).c_str(), nullptr);
        return true;
    }

    bool hex4(unsigned &cp)
    {
        if (s_.size() - pos_ < 4) return false;
        cp = 0;
        for (int i = 0; i < 4; ++i) {
            char h = s_[pos_++];
            cp <<= 4;
            if (h >= '0' && h <= '9') cp |= h - '0';
            else if (h >= 'a' && h <= 'f') cp |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F') cp |= h - 'A' + 10;
            else return false;
        }
        return true;
    }

    static void utf8(std::string &out, unsigned cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool string(std::string &out)
    {
        ++pos_;  // opening quote
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) return false;
            char e = s_[pos_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp = 0;
                if (!hex4(cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
                    std::size_t save = pos_;
                    pos_ += 2;
                    unsigned lo = 0;
                    if (hex4(lo) && lo >= 0xDC00 && lo < 0xE000) {
                        utf8(out, 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00));
                        break;
                    }
                    pos_ = save;
                }
                if (cp >= 0xDC80 && cp <= 0xDCFF) {
                    out += static_cast<char>(cp - 0xDC00);  // a raw byte the writer could not decode
                } else {
                    utf8(out, cp);
                }
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    bool array(Value &v, int depth)
    {
        v.kind = Value::Array;
        ++pos_;
        blanks();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            Value item;
            if (!value(item, depth + 1)) return false;
            v.items.push_back(std::move(item));
            blanks();
            if (pos_ >= s_.size()) return false;
            char c = s_[pos_++];
            if (c == ']') return true;
            if (c != ',') return false;
        }
    }

    bool object(Value &v, int depth)
    {
        v.kind = Value::Object;
        ++pos_;
        blanks();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            blanks();
            if (pos_ >= s_.size() || s_[pos_] != '"') return false;
            std::string key;
            if (!string(key)) return false;
            blanks();
            if (pos_ >= s_.size() || s_[pos_++] != ':') return false;
            Value item;
            if (!value(item, depth + 1)) return false;
            v.members.emplace_back(std::move(key), std::move(item));
            blanks();
            if (pos_ >= s_.size()) return false;
            char c = s_[pos_++];
            if (c == '}') return true;
            if (c != ',') return false;
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

}  // namespace

const Value *Value::get(std::string_view key) const
{
    const Value *found = nullptr;
    for (const auto &[k, v] : members)
        if (k == key) found = &v;
    return found;
}

std::optional<Value> parse(std::string_view text)
{
    Value v;
    Reader r(text);
    if (!r.document(v)) return std::nullopt;
    return v;
}

}  // namespace json

// ------------------------------------------------------------------ Call

bool Call::is(std::string_view name) const
{
    if (prog == name) return true;
    auto slash = prog.rfind('/');
    return slash != std::string::npos && std::string_view(prog).substr(slash + 1) == name;
}

std::string Call::args() const
{
    std::string s;
    for (std::size_t i = 1; i < argv.size(); ++i) {
        if (i > 1) s += ' ';
        s += argv[i];
    }
    return s;
}

// ------------------------------------------------------------------ PacketSocket

PacketSocket &PacketSocket::operator=(PacketSocket &&o) noexcept
{
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
}

PacketSocket::~PacketSocket()
{
    if (fd_ >= 0) ::close(fd_);
}

bool PacketSocket::send_frame(std::span<const std::uint8_t> frame) const
{
    if (fd_ < 0) return false;
    ssize_t n = ::send(fd_, frame.data(), frame.size(), 0);
    return n == static_cast<ssize_t>(frame.size());
}

namespace {

long long now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

std::optional<Frame> PacketSocket::recv_frame(int timeout_ms) const
{
    if (fd_ < 0) return std::nullopt;
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        long long left = deadline - now_ms();
        if (left < 0) left = 0;
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        Frame buf(65536);
        sockaddr_ll from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return std::nullopt;
        }
        if (from.sll_pkttype == PACKET_OUTGOING) continue;
        buf.resize(static_cast<std::size_t>(n));
        return buf;
    }
}

// ------------------------------------------------------------------ Sandbox

namespace {

constexpr const char *kInside = "/var/run/.sandbox";
constexpr const char *kHolderTag = "rt-sandbox:";

std::string env_or(const char *name, const std::string &fallback)
{
    const char *v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return {};
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Sets an environment variable for the launcher and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = std::getenv(name)) old_ = old;
        if (!value.empty()) ::setenv(name, value.c_str(), 1);
        active_ = !value.empty();
    }
    ~ScopedEnv()
    {
        if (!active_) return;
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    std::optional<std::string> old_;
    bool active_ = false;
};

}  // namespace

std::string Sandbox::launcher()
{
    const char *src = std::getenv("RT_SOURCE_DIR");
    if (src && *src) return std::string(src) + "/tests/sandbox/sandbox";
    return std::string(RT_SANDBOX_SOURCE_DIR) + "/sandbox";
}

bool Sandbox::available()
{
    static const bool ok = [] {
        if (::geteuid() != 0) return false;
        if (::access(launcher().c_str(), X_OK) != 0) return false;
        return platform::run({"unshare", "--mount", "--net", "true"}) == 0 &&
               platform::run({"nsenter", "--version"}) == 0;
    }();
    return ok;
}

const char *Sandbox::skip_reason()
{
    return "sandbox test skipped: needs root with mount and network namespaces (unshare, nsenter)";
}

Sandbox::Sandbox()
{
    std::string tmpl = env_or("TMPDIR", "/tmp") + "/rt-sandbox.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data())) state_ = buf.data();
    owns_state_ = true;
}

Sandbox::Sandbox(std::string state_dir) : state_(std::move(state_dir)) {}

Sandbox::~Sandbox()
{
    down();
    if (owns_state_ && !state_.empty() && !std::getenv("RT_SANDBOX_KEEP")) {
        std::error_code ec;
        std::filesystem::remove_all(state_, ec);
    }
}

int Sandbox::launch(const std::vector<std::string> &args, std::string *out, std::string_view input,
                    int timeout_ms)
{
    std::string exe = launcher();
    std::vector<const char *> argv{exe.c_str()};
    for (const auto &a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    platform::RunOptions opt;
    opt.capture = out != nullptr;
    opt.max_output = 16 << 20;
    opt.input = input;
    opt.timeout_ms = timeout_ms;
    opt.keep_stderr = true;
    opt.discard_stdout = false;
    platform::RunResult res;
    ScopedEnv bin("RT_BINARY_DIR", binary_dir_);
    int st = platform::run(std::span<const char *const>(argv.data(), argv.size() - 1), opt, &res);
    if (out) *out = std::move(res.output);
    return st;
}

bool Sandbox::up(const std::vector<std::string> &fixture_dirs)
{
    if (state_.empty() || up_) return false;
    std::vector<std::string> args{"up", state_};
    for (const auto &d : fixture_dirs) {
        args.push_back("--fixture");
        args.push_back(d);
    }
    // This process owns it: should it die without down(), the next `up`
    // anywhere reaps the sandbox.
    ScopedEnv owner("RT_SANDBOX_OWNER", std::to_string(::getpid()));
    up_ = launch(args) == 0;
    return up_;
}

bool Sandbox::down()
{
    peers_.clear();
    if (!up_) return true;
    bool ok = launch({"down", state_}) == 0;
    up_ = !ok;
    return ok;
}

int Sandbox::exec(const std::vector<std::string> &argv, std::string *out, std::string_view input, int timeout_ms)
{
    if (!up_ || argv.empty()) return -1;
    std::vector<std::string> args{"exec", state_};
    args.insert(args.end(), argv.begin(), argv.end());
    return launch(args, out, input, timeout_ms);
}

pid_t Sandbox::spawn(const std::vector<std::string> &argv, const std::string &logname)
{
    if (!up_ || argv.empty()) return -1;
    std::vector<std::string> args{"spawn", state_, path(logname)};
    args.insert(args.end(), argv.begin(), argv.end());
    std::string out;
    if (launch(args, &out) != 0) return -1;
    char *end = nullptr;
    long pid = std::strtol(out.c_str(), &end, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : -1;
}

bool Sandbox::stop(pid_t pid, int grace_ms)
{
    if (pid <= 0) return false;
    auto gone = [pid] {
        // Exited counts as gone: the parent of a spawned process is not us.
        std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
        auto paren = stat.rfind(')');
        return paren == std::string::npos || paren + 2 >= stat.size() || stat[paren + 2] == 'Z';
    };
    // A spawned process is not our child; a zombie of our own is reaped here.
    auto reap = [pid] { ::waitpid(pid, nullptr, WNOHANG); };
    ::kill(pid, SIGTERM);
    long long deadline = now_ms() + grace_ms;
    while (now_ms() < deadline) {
        reap();
        if (gone()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    for (int i = 0; i < 250; ++i) {
        reap();
        if (gone()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

pid_t Sandbox::holder_pid() const
{
    if (state_.empty()) return -1;
    std::string text = slurp(path("ns.pid"));
    long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid <= 0) return -1;
    std::string cmdline = slurp("/proc/" + std::to_string(pid) + "/cmdline");
    std::string want = kHolderTag + state_;
    if (cmdline.compare(0, want.size() + 1, want + '\0') != 0) return -1;
    return static_cast<pid_t>(pid);
}

int Sandbox::run_inside(const std::function<int()> &fn)
{
    pid_t holder = holder_pid();
    if (holder <= 0) return -1;
    std::string ns = "/proc/" + std::to_string(holder) + "/ns/";
    int mnt = ::open((ns + "mnt").c_str(), O_RDONLY | O_CLOEXEC);
    int net = ::open((ns + "net").c_str(), O_RDONLY | O_CLOEXEC);
    int uts = ::open((ns + "uts").c_str(), O_RDONLY | O_CLOEXEC);
    std::string bindir = slurp(path("binary_dir"));
    while (!bindir.empty() && bindir.back() == '\n') bindir.pop_back();
    auto close_all = [&] {
        for (int fd : {mnt, net, uts})
            if (fd >= 0) ::close(fd);
    };
    if (mnt < 0 || net < 0 || uts < 0) {
        close_all();
        return -1;
    }
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        // The child is single-threaded, as entering a mount namespace requires.
        if (::setns(net, CLONE_NEWNET) != 0 || ::setns(uts, CLONE_NEWUTS) != 0 || ::setns(mnt, CLONE_NEWNS) != 0 ||
            ::chdir("/") != 0)
            _exit(126);
        std::string p = std::string(kInside) + "/bin:/usr/sbin:/usr/bin:/sbin:/bin";
        ::setenv("PATH", p.c_str(), 1);
        ::setenv("RT_SANDBOX_STATE", kInside, 1);
        ::setenv("RT_SANDBOX_HOST_STATE", state_.c_str(), 1);
        ::setenv("HOME", "/root", 1);
        if (!bindir.empty()) ::setenv("RT_BINARY_DIR", bindir.c_str(), 1);
        int rc = fn();
        std::fflush(nullptr);
        _exit(rc & 0xFF);
    }
    close_all();
    if (child < 0) return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::string Sandbox::path(std::string_view rel) const
{
    return state_ + "/" + std::string(rel);
}

std::string Sandbox::read(std::string_view rel) const
{
    return slurp(path(rel));
}

bool Sandbox::write(std::string_view rel, std::string_view text) const
{
    std::string p = path(rel);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(p).parent_path(), ec);
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(f);
}

std::vector<Call> Sandbox::calls() const
{
    std::vector<Call> out;
    std::string text = read("calls.log");
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) break;  // a line still being written
        auto v = json::parse(std::string_view(text).substr(pos, nl - pos));
        pos = nl + 1;
        if (!v || v->kind != json::Value::Object) continue;
        Call c;
        if (const auto *t = v->get("t")) c.t = t->number;
        if (const auto *p = v->get("prog")) c.prog = p->text;
        if (const auto *a = v->get("argv"))
            for (const auto &item : a->items) c.argv.push_back(item.text);
        if (const auto *s = v->get("stdin"); s && s->kind == json::Value::String) c.stdin_text = s->text;
        out.push_back(std::move(c));
    }
    return out;
}

bool Sandbox::wait_for_call(std::string_view prog, std::string_view substring, int timeout_ms,
                            std::size_t from) const
{
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        auto all = calls();
        for (std::size_t i = from; i < all.size(); ++i) {
            const Call &c = all[i];
            if (!c.is(prog)) continue;
            if (c.args().find(substring) != std::string::npos) return true;
            if (c.stdin_text && c.stdin_text->find(substring) != std::string::npos) return true;
        }
        if (now_ms() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<std::string> Sandbox::uci_get(std::string_view key)
{
    std::string out;
    if (exec({"env", "RT_SANDBOX_NOLOG=1", "uci", "get", std::string(key)}, &out) != 0) return std::nullopt;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

PacketSocket Sandbox::peer_socket(std::string_view port, std::uint16_t ethertype) const
{
    return packet_socket("p-" + std::string(port), ethertype);
}

PacketSocket &Sandbox::peer(std::string_view port)
{
    auto it = peers_.find(port);
    if (it == peers_.end() || !it->second.valid())
        it = peers_.insert_or_assign(std::string(port), peer_socket(port)).first;
    return it->second;
}

bool Sandbox::send_frame(std::string_view port, std::span<const std::uint8_t> frame)
{
    return peer(port).send_frame(frame);
}

std::optional<Frame> Sandbox::recv_frame(std::string_view port, int timeout_ms)
{
    return peer(port).recv_frame(timeout_ms);
}

PacketSocket Sandbox::packet_socket(std::string_view ifname, std::uint16_t ethertype) const
{
    pid_t holder = holder_pid();
    if (holder <= 0) return {};
    int nsfd = ::open(("/proc/" + std::to_string(holder) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    if (nsfd < 0) return {};
    std::string name(ifname);
    int fd = -1;
    // A socket keeps the namespace it was made in, so a short-lived thread
    // enters the sandbox's network namespace, makes it and leaves.
    std::thread t([&] {
        if (::setns(nsfd, CLONE_NEWNET) != 0) return;
        int s = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ethertype));
        if (s < 0) return;
        sockaddr_ll addr{};
        addr.sll_family = AF_PACKET;
        addr.sll_protocol = htons(ethertype);
        addr.sll_ifindex = static_cast<int>(::if_nametoindex(name.c_str()));
        if (addr.sll_ifindex == 0 || ::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            ::close(s);
            return;
        }
        fd = s;
    });
    t.join();
    ::close(nsfd);
    return PacketSocket(fd);
}

}  // namespace rt
