// meshwatch: follows the mesh link, publishes it in /tmp/mesh_status and
// switches the LAN side between router operation (static address, own DHCP
// servers) and mesh satellite operation (address from the mesh over MESH).
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <memory>
#include <span>
#include <string>

// Everything the monitor needs from the router. The daemon uses the real
// one; unit tests a recording fake, so no test needs root or a live ubus.
class meshwatch_host {
public:
    virtual ~meshwatch_host() = default;
    // Runs argv (no shell) and waits. With `out`, standard output is
    // collected there. Exit status 0..255, -1 when it cannot be started.
    virtual int run(std::span<const char *const> argv, std::string *out) = 0;
    // As zkuci_get: 0 and the value in buf, non-zero (buf untouched) when missing.
    virtual int uci_get(const char *package, const char *section, const char *option, char *buf,
                        std::size_t size) = 0;
    // 0 when the whole interval was slept, -1 when the precise sleep failed.
    virtual int sleep_precise(unsigned seconds) = 0;
    virtual void sleep_coarse(unsigned seconds) = 0;
    // Local time for log records; false when it cannot be computed.
    virtual bool local_time(std::tm &out) = 0;
};

enum devmode_log_level { DEVMODE_LOG_DEBUG = 0, DEVMODE_LOG_INFO = 1, DEVMODE_LOG_WARN = 2, DEVMODE_LOG_ERROR = 3 };

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

struct meshwatch_ctx {
    meshwatch_host *host = nullptr;
    bool setup_flag = false;  // the meshed set-up is in force
    std::unique_ptr<std::FILE, file_closer> log;
    std::string log_path = "/root/meshwatch.log";
    std::string status_path = "/tmp/mesh_status";
    std::FILE *out = stdout;  // set-up and tear-down failures are printed here
};

// The interface that takes the satellite's address from the mesh.
inline constexpr const char kMeshIface[] = "MESH";

void devmode_log_open(meshwatch_ctx &ctx);
void devmode_log(meshwatch_ctx &ctx, int level, const char *file, int line, const char *func, const char *fmt,
                 ...) __attribute__((format(printf, 6, 7)));
#define DEVMODE_INFO(ctx, ...) devmode_log((ctx), DEVMODE_LOG_INFO, __FILE__, __LINE__, __func__, __VA_ARGS__)

void nanosleep_sec(meshwatch_ctx &ctx, unsigned seconds);
// 0 when the mesh is switched off, else mesh_mode + 1.
int get_mesh_state(meshwatch_ctx &ctx);
bool mesh_iface_configured(meshwatch_ctx &ctx);
// Logs mismatches between the MESH section and the mesh settings; always 0.
int monitor_mesh_interface_config(meshwatch_ctx &ctx);
// action 1 restarts the interface, 0 brings it down; -1 for anything else.
int safe_network_interface_management(meshwatch_ctx &ctx, const char *iface, int action);
int setup_br_lan_dhcp_client_interface(meshwatch_ctx &ctx);
int destory_br_lan_dhcp_client_interface(meshwatch_ctx &ctx);
int cancel_lan_dhcp_server(meshwatch_ctx &ctx);
int reopen_lan_dhcp_server(meshwatch_ctx &ctx);
// 1 connected, 0 not connected, -1 no answer.
int platform_judge_slaveDev_is_meshed(meshwatch_ctx &ctx);
int query_mesh_status(meshwatch_ctx &ctx);
// Finds the answer in the output of `ubus call em.mesh_status get`.
int mesh_status_from_output(const std::string &output);
// Adds (add) or removes the static LAN address on br-lan. -1 without a
// command when the address or netmask is missing or not usable.
int br_lan_static_ip(meshwatch_ctx &ctx, bool add);
// Prefix length of a dotted-quad netmask (its leading one bits); -1 when it
// does not parse.
int netmask_to_prefix(const char *netmask);

// Start of the daemon and one pass of its loop.
void meshwatch_init(meshwatch_ctx &ctx);
void meshwatch_pass(meshwatch_ctx &ctx);
