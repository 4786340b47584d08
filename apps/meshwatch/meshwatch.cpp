#include "apps/meshwatch/meshwatch.h"

#include "platform/json.h"

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char *level_name(int level)
{
    switch (level) {
    case DEVMODE_LOG_DEBUG: return "DEBUG";
    case DEVMODE_LOG_INFO: return "INFO";
    case DEVMODE_LOG_WARN: return "WARN";
    case DEVMODE_LOG_ERROR: return "ERROR";
    default: return "UNKNOWN";
    }
}

int run_cmd(meshwatch_ctx &ctx, std::initializer_list<const char *> argv, std::string *out = nullptr)
{
    return ctx.host->run(std::span<const char *const>(argv.begin(), argv.size()), out);
}

// A UCI option as a number; a missing option counts as 0.
int uci_number(meshwatch_ctx &ctx, const char *package, const char *section, const char *option,
               std::size_t size)
{
    char buf[16] = "";
    if (size > sizeof buf) size = sizeof buf;
    ctx.host->uci_get(package, section, option, buf, size);
    return std::atoi(buf);
}

// Same effect as `echo <word> > /tmp/mesh_status`, without a shell.
void write_mesh_status(meshwatch_ctx &ctx, const char *word)
{
    int fd = ::open(ctx.status_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string line = std::string(word) + "\n";
    ssize_t n = ::write(fd, line.data(), line.size());
    (void)n;
    ::close(fd);
}

// One decimal number 0..255 of a dotted quad; advances p past it.
bool quad_part(const char *&p, unsigned &value)
{
    if (*p < '0' || *p > '9') return false;
    value = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
        if (++digits > 3) return false;
        value = value * 10 + static_cast<unsigned>(*p++ - '0');
    }
    return value <= 255;
}

}  // namespace

void devmode_log_open(meshwatch_ctx &ctx)
{
    if (ctx.log) return;
    // Logging is switched on by creating the file, never by the daemon.
    if (::access(ctx.log_path.c_str(), F_OK) != 0) return;
    ctx.log.reset(std::fopen(ctx.log_path.c_str(), "ae"));
    if (!ctx.log) return;
    std::fputs("=== Device Mode Manager Log Started ===\n", ctx.log.get());
    std::fflush(ctx.log.get());
}

void devmode_log(meshwatch_ctx &ctx, int level, const char *file, int line, const char *func, const char *fmt, ...)
{
    (void)file;
    (void)line;
    (void)func;
    std::FILE *f = ctx.log.get();
    if (!f) return;
    std::tm tm{};
    if (ctx.host->local_time(tm))
        std::fprintf(f, "[%04d-%02d-%02d %02d:%02d:%02d] [%s] ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour, tm.tm_min, tm.tm_sec, level_name(level));
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(f, fmt, ap);
    va_end(ap);
    std::fputc('\n', f);
    std::fflush(f);
}

void nanosleep_sec(meshwatch_ctx &ctx, unsigned seconds)
{
    if (ctx.host->sleep_precise(seconds) == 0) return;
    DEVMODE_INFO(ctx, "nanosleep failed, use sleep instead");
    ctx.host->sleep_coarse(seconds);
}

int get_mesh_state(meshwatch_ctx &ctx)
{
    if (uci_number(ctx, "easymesh", "easymesh_default", "mesh_switch", 4) == 0) return 0;
    return uci_number(ctx, "easymesh", "easymesh_default", "mesh_mode", 4) + 1;
}

bool mesh_iface_configured(meshwatch_ctx &ctx)
{
    std::string section = std::string("network.") + kMeshIface;
    return run_cmd(ctx, {"uci", "get", section.c_str()}) == 0;
}

int monitor_mesh_interface_config(meshwatch_ctx &ctx)
{
    int mode = uci_number(ctx, "easymesh", "easymesh_default", "mesh_mode", 16);
    int sw = uci_number(ctx, "easymesh", "easymesh_default", "mesh_switch", 16);
    bool exists = mesh_iface_configured(ctx);
    bool loaded = false;
    if (exists) {
        std::string path = std::string("network.interface.") + kMeshIface;
        loaded = run_cmd(ctx, {"ubus", "-S", "list", path.c_str()}) == 0;
    }
    if (mode == 1 && sw == 1) {
        if (!exists)
            DEVMODE_INFO(ctx, "MESH interface should exist but not found (mode=1, switch=1). Script should create it.");
        else if (!loaded)
            DEVMODE_INFO(ctx, "MESH interface config exists but not loaded. Script should reload network.");
    } else if (exists) {
        DEVMODE_INFO(ctx, "MESH interface should not exist but found (mode=%d, switch=%d). Script should delete it.",
                     mode, sw);
    }
    return 0;
}

int safe_network_interface_management(meshwatch_ctx &ctx, const char *iface, int action)
{
    DEVMODE_INFO(ctx, "safe_network_interface_management interface_name: %s, action: %d", iface, action);
    if (action != 0 && action != 1) return -1;
    // The name travels inside a JSON document: quote it, never paste it.
    std::string arg = platform::JsonObject().str("interface", iface).text();
    std::string shown = "ubus call network.interface down '" + arg + "'";
    int ret = run_cmd(ctx, {"ubus", "call", "network.interface", "down", arg.c_str()});
    if (action == 1) {
        // A restart: whatever the state was, down first, then up decides.
        shown += "; ubus call network.interface up '" + arg + "'";
        ret = run_cmd(ctx, {"ubus", "call", "network.interface", "up", arg.c_str()});
    }
    DEVMODE_INFO(ctx, "safe_network_interface_management command: %s, ret: %d", shown.c_str(), ret);
    return ret;
}

int setup_br_lan_dhcp_client_interface(meshwatch_ctx &ctx)
{
    DEVMODE_INFO(ctx, "Starting MESH interface via ubus");
    return safe_network_interface_management(ctx, kMeshIface, 1);
}

int destory_br_lan_dhcp_client_interface(meshwatch_ctx &ctx)
{
    DEVMODE_INFO(ctx, "Stopping MESH interface via ubus");
    return safe_network_interface_management(ctx, kMeshIface, 0);
}

int cancel_lan_dhcp_server(meshwatch_ctx &ctx)
{
    run_cmd(ctx, {"/etc/init.d/dnsmasq", "stop"});
    run_cmd(ctx, {"/etc/init.d/odhcpd", "stop"});
    return 0;
}

int reopen_lan_dhcp_server(meshwatch_ctx &ctx)
{
    run_cmd(ctx, {"/etc/init.d/dnsmasq", "restart"});
    run_cmd(ctx, {"/etc/init.d/odhcpd", "start"});
    return 0;
}

int platform_judge_slaveDev_is_meshed(meshwatch_ctx &ctx)
{
    char mode[16] = "";
    ctx.host->uci_get("easymesh", "easymesh_default", "mesh_mode", mode, sizeof mode);
    if (std::strcmp(mode, "0") == 0) return 0;
    DEVMODE_INFO(ctx, "file is NULL, wired connect to mesh");
    return query_mesh_status(ctx);
}

int mesh_status_from_output(const std::string &output)
{
    std::size_t pos = 0;
    while (pos < output.size()) {
        std::size_t end = output.find('\n', pos);
        if (end == std::string::npos) end = output.size();
        std::string_view line(output.data() + pos, end - pos);
        if (line.find("\"status_desc\": \"connected\"") != std::string_view::npos) return 1;
        if (line.find("\"status_desc\": \"disconnected\"") != std::string_view::npos) return 0;
        pos = end + 1;
    }
    return -1;
}

int query_mesh_status(meshwatch_ctx &ctx)
{
    std::string out;
    if (run_cmd(ctx, {"ubus", "call", "em.mesh_status", "get"}, &out) < 0) return 0;
    return mesh_status_from_output(out);
}

int br_lan_static_ip(meshwatch_ctx &ctx, bool add)
{
    char ipaddr[64] = "";
    char netmask[64] = "";
    if (ctx.host->uci_get("network", "lan", "ipaddr", ipaddr, sizeof ipaddr) != 0) return -1;
    if (ctx.host->uci_get("network", "lan", "netmask", netmask, sizeof netmask) != 0) return -1;
    int prefix = netmask_to_prefix(netmask);
    if (prefix < 0) return -1;
    // Only a plain dotted IPv4 address becomes an argument of ip.
    in_addr a{};
    if (inet_pton(AF_INET, ipaddr, &a) != 1) return -1;
    char cidr[96];
    std::snprintf(cidr, sizeof cidr, "%s/%d", ipaddr, prefix);
    run_cmd(ctx, {"ip", "addr", add ? "add" : "del", cidr, "dev", "br-lan"});
    return 0;
}

int netmask_to_prefix(const char *netmask)
{
    if (!netmask) return -1;
    const char *p = netmask;
    uint32_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        unsigned part;
        if (i > 0 && *p++ != '.') return -1;
        if (!quad_part(p, part)) return -1;
        mask = (mask << 8) | part;
    }
    if (*p != '\0') return -1;
    // Leading one bits only: a non-contiguous mask gives its leading run.
    int prefix = 0;
    while (prefix < 32 && (mask & (0x80000000u >> prefix))) ++prefix;
    return prefix;
}

void meshwatch_init(meshwatch_ctx &ctx)
{
    devmode_log_open(ctx);
    ctx.setup_flag = mesh_iface_configured(ctx);
    DEVMODE_INFO(ctx, "Init setup_flag: %d", ctx.setup_flag ? 1 : 0);
}

void meshwatch_pass(meshwatch_ctx &ctx)
{
    devmode_log_open(ctx);
    nanosleep_sec(ctx, 2);
    if (get_mesh_state(ctx) != 2) nanosleep_sec(ctx, 1);
    monitor_mesh_interface_config(ctx);

    int r = platform_judge_slaveDev_is_meshed(ctx);
    if (r == 1) {
        write_mesh_status(ctx, "connected");
        if (!ctx.setup_flag) {
            // Joining: the static address goes first, the DHCP servers stop
            // only once MESH has been restarted.
            br_lan_static_ip(ctx, false);
            if (setup_br_lan_dhcp_client_interface(ctx) != 0) {
                std::fputs("Failed to setup_br_lan_dhcp_client_interface ... \n", ctx.out);
                std::fflush(ctx.out);
            }
            cancel_lan_dhcp_server(ctx);
            ctx.setup_flag = true;
        }
        return;
    }
    // No answer leaves the status file alone but still leaves the mesh set-up.
    if (r == 0) write_mesh_status(ctx, "disconnect");
    if (ctx.setup_flag) {
        // Leaving: MESH goes down before the servers restart, and the static
        // address returns last.
        if (destory_br_lan_dhcp_client_interface(ctx) != 0) {
            std::fputs("Failed to destory_br_lan_dhcp_client_interface ... \n", ctx.out);
            std::fflush(ctx.out);
        }
        reopen_lan_dhcp_server(ctx);
        ctx.setup_flag = false;
        br_lan_static_ip(ctx, true);
    }
}
