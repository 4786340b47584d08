/* ledfs: a FUSE file system that behaves like the kernel's LED class
 * (/sys/class/leds) for the sandboxed router.
 *
 *   ledfs [--log FILE] [--netdev mode|flags|none] --led NAME [--led NAME]... MOUNTPOINT
 *
 * Each LED is a directory with brightness, max_brightness and trigger.
 * Reading trigger lists the known triggers with the active one in brackets;
 * writing a name selects it. Selecting netdev adds device_name, interval and,
 * by --netdev, either the older "mode" node, the newer link/tx/rx nodes, or
 * neither. Every write is appended to the log as
 * "<monotonic seconds> <led>/<node> <value>". Runs in the foreground,
 * single-threaded, until unmounted or killed. */
#define FUSE_USE_VERSION 31

#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define MAX_LEDS 16
#define NAME_MAX_LEN 64

enum netdev_kind { NETDEV_MODE, NETDEV_FLAGS, NETDEV_NONE };

static const char *const k_triggers[] = {"none", "timer", "default-on", "heartbeat", "netdev"};
#define N_TRIGGERS ((int)(sizeof k_triggers / sizeof k_triggers[0]))
enum { TRIG_NONE = 0, TRIG_DEFAULT_ON = 2, TRIG_NETDEV = 4 };

struct led {
    char name[NAME_MAX_LEN];
    int brightness;
    int trigger;
    char device_name[NAME_MAX_LEN];
    int interval;
    char mode[NAME_MAX_LEN];
    int link, tx, rx;
};

static struct led g_leds[MAX_LEDS];
static int g_n_leds;
static enum netdev_kind g_netdev = NETDEV_MODE;
static int g_log_fd = -1;

static struct led *find_led(const char *name, size_t len)
{
    for (int i = 0; i < g_n_leds; ++i)
        if (strlen(g_leds[i].name) == len && memcmp(g_leds[i].name, name, len) == 0) return &g_leds[i];
    return NULL;
}

/* Which nodes the LED shows now. */
static int node_visible(const struct led *l, const char *node)
{
    if (!strcmp(node, "brightness") || !strcmp(node, "max_brightness") || !strcmp(node, "trigger")) return 1;
    if (l->trigger != TRIG_NETDEV) return 0;
    if (!strcmp(node, "device_name") || !strcmp(node, "interval")) return 1;
    if (g_netdev == NETDEV_MODE) return !strcmp(node, "mode");
    if (g_netdev == NETDEV_FLAGS) return !strcmp(node, "link") || !strcmp(node, "tx") || !strcmp(node, "rx");
    return 0;
}

/* Splits "/led/node"; 0 for the root, 1 for an LED directory, 2 for a node,
 * -1 when nothing is there. */
static int resolve(const char *path, struct led **led, const char **node)
{
    if (!strcmp(path, "/")) return 0;
    if (path[0] != '/') return -1;
    const char *name = path + 1;
    const char *slash = strchr(name, '/');
    *led = find_led(name, slash ? (size_t)(slash - name) : strlen(name));
    if (!*led) return -1;
    if (!slash) return 1;
    *node = slash + 1;
    if (strchr(*node, '/') || !node_visible(*led, *node)) return -1;
    return 2;
}

static int render(const struct led *l, const char *node, char *buf, size_t size)
{
    if (!strcmp(node, "brightness")) return snprintf(buf, size, "%d\n", l->brightness);
    if (!strcmp(node, "max_brightness")) return snprintf(buf, size, "255\n");
    if (!strcmp(node, "trigger")) {
        size_t n = 0;
        for (int i = 0; i < N_TRIGGERS && n < size; ++i)
            n += (size_t)snprintf(buf + n, size - n, i == l->trigger ? "%s[%s]" : "%s%s", i ? " " : "",
                                  k_triggers[i]);
        if (n < size) n += (size_t)snprintf(buf + n, size - n, "\n");
        return (int)(n < size ? n : size - 1);
    }
    if (!strcmp(node, "device_name")) return snprintf(buf, size, "%s\n", l->device_name);
    if (!strcmp(node, "interval")) return snprintf(buf, size, "%d\n", l->interval);
    if (!strcmp(node, "mode")) return snprintf(buf, size, "%s\n", l->mode);
    if (!strcmp(node, "link")) return snprintf(buf, size, "%d\n", l->link);
    if (!strcmp(node, "tx")) return snprintf(buf, size, "%d\n", l->tx);
    if (!strcmp(node, "rx")) return snprintf(buf, size, "%d\n", l->rx);
    return -1;
}

static void log_write(const struct led *l, const char *node, const char *value)
{
    if (g_log_fd < 0) return;
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[256];
    int n = snprintf(line, sizeof line, "%lld.%06ld %s/%s %s\n", (long long)ts.tv_sec, ts.tv_nsec / 1000, l->name,
                     node, value);
    if (n > 0) {
        if ((size_t)n >= sizeof line) n = (int)sizeof line - 1;
        if (write(g_log_fd, line, (size_t)n) != n) { /* the log is best effort */
        }
    }
}

static int parse_int(const char *s, int *out)
{
    char *end;
    errno = 0;
    long v = strtol(s, &end, 10);
    if (errno || end == s || *end) return -1;
    *out = (int)v;
    return 0;
}

static void select_trigger(struct led *l, int t)
{
    l->trigger = t;
    if (t == TRIG_NONE) l->brightness = 0;
    if (t == TRIG_DEFAULT_ON) l->brightness = 255;
    if (t == TRIG_NETDEV) {
        l->device_name[0] = '\0';
        l->interval = 50;
        l->mode[0] = '\0';
        l->link = l->tx = l->rx = 0;
    }
}

/* 0, or -EINVAL when the text does not fit. */
static int copy_text(char *dst, size_t size, const char *src)
{
    size_t n = strlen(src);
    if (n >= size) return -EINVAL;
    memcpy(dst, src, n + 1);
    return 0;
}

/* One store, as sysfs has it: the whole value in one write. */
static int store(struct led *l, const char *node, const char *value)
{
    int v;
    if (!strcmp(node, "brightness")) {
        if (parse_int(value, &v) || v < 0) return -EINVAL;
        l->brightness = v > 255 ? 255 : v;
        if (v == 0) l->trigger = TRIG_NONE; /* the kernel drops the trigger on 0 */
        return 0;
    }
    if (!strcmp(node, "trigger")) {
        for (int i = 0; i < N_TRIGGERS; ++i)
            if (!strcmp(value, k_triggers[i])) {
                select_trigger(l, i);
                return 0;
            }
        return -EINVAL;
    }
    if (!strcmp(node, "device_name")) {
        if (strlen(value) >= 16) return -EINVAL;
        return copy_text(l->device_name, sizeof l->device_name, value);
    }
    if (!strcmp(node, "interval")) {
        if (parse_int(value, &v) || v <= 0) return -EINVAL;
        l->interval = v;
        return 0;
    }
    if (!strcmp(node, "mode")) {
        char copy[NAME_MAX_LEN], *save = NULL;
        if (copy_text(copy, sizeof copy, value)) return -EINVAL;
        for (char *w = strtok_r(copy, " ,", &save); w; w = strtok_r(NULL, " ,", &save))
            if (strcmp(w, "link") && strcmp(w, "tx") && strcmp(w, "rx") && strcmp(w, "none")) return -EINVAL;
        return copy_text(l->mode, sizeof l->mode, value);
    }
    int *flag = !strcmp(node, "link") ? &l->link : !strcmp(node, "tx") ? &l->tx : !strcmp(node, "rx") ? &l->rx : NULL;
    if (flag) {
        if (parse_int(value, &v) || (v != 0 && v != 1)) return -EINVAL;
        *flag = v;
        return 0;
    }
    return -EACCES;
}

static int op_getattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    (void)fi;
    struct led *l = NULL;
    const char *node = NULL;
    memset(st, 0, sizeof *st);
    switch (resolve(path, &l, &node)) {
    case 0:
    case 1:
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    case 2:
        st->st_mode = S_IFREG | (!strcmp(node, "max_brightness") ? 0444 : 0644);
        st->st_nlink = 1;
        st->st_size = 4096;
        return 0;
    default: return -ENOENT;
    }
}

static int op_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t off, struct fuse_file_info *fi,
                      enum fuse_readdir_flags flags)
{
    (void)off;
    (void)fi;
    (void)flags;
    struct led *l = NULL;
    const char *node = NULL;
    int kind = resolve(path, &l, &node);
    if (kind != 0 && kind != 1) return -ENOTDIR;
    fill(buf, ".", NULL, 0, 0);
    fill(buf, "..", NULL, 0, 0);
    if (kind == 0) {
        for (int i = 0; i < g_n_leds; ++i) fill(buf, g_leds[i].name, NULL, 0, 0);
        return 0;
    }
    static const char *const nodes[] = {"brightness", "max_brightness", "trigger", "device_name",
                                        "interval",   "mode",           "link",    "tx", "rx"};
    for (size_t i = 0; i < sizeof nodes / sizeof nodes[0]; ++i)
        if (node_visible(l, nodes[i])) fill(buf, nodes[i], NULL, 0, 0);
    return 0;
}

static int op_open(const char *path, struct fuse_file_info *fi)
{
    struct led *l = NULL;
    const char *node = NULL;
    if (resolve(path, &l, &node) != 2) return -ENOENT;
    if (!strcmp(node, "max_brightness") && (fi->flags & O_ACCMODE) != O_RDONLY) return -EACCES;
    fi->direct_io = 1; /* every read and write reaches us, as with sysfs */
    return 0;
}

static int op_truncate(const char *path, off_t size, struct fuse_file_info *fi)
{
    (void)size;
    (void)fi;
    struct led *l = NULL;
    const char *node = NULL;
    return resolve(path, &l, &node) == 2 ? 0 : -ENOENT;
}

static int op_read(const char *path, char *buf, size_t size, off_t off, struct fuse_file_info *fi)
{
    (void)fi;
    struct led *l = NULL;
    const char *node = NULL;
    if (resolve(path, &l, &node) != 2) return -ENOENT;
    char text[512];
    int n = render(l, node, text, sizeof text);
    if (n < 0) return -EIO;
    if (off >= n) return 0;
    size_t len = (size_t)(n - off) < size ? (size_t)(n - off) : size;
    memcpy(buf, text + off, len);
    return (int)len;
}

static int op_write(const char *path, const char *buf, size_t size, off_t off, struct fuse_file_info *fi)
{
    (void)off;
    (void)fi;
    struct led *l = NULL;
    const char *node = NULL;
    if (resolve(path, &l, &node) != 2) return -ENOENT;
    char value[256];
    size_t len = size < sizeof value - 1 ? size : sizeof value - 1;
    memcpy(value, buf, len);
    value[len] = '\0';
    while (len > 0 && (value[len - 1] == '\n' || value[len - 1] == ' ')) value[--len] = '\0';
    int rc = store(l, node, value);
    log_write(l, node, rc == 0 ? value : "(rejected)");
    return rc == 0 ? (int)size : rc;
}

static const struct fuse_operations k_ops = {
    .getattr = op_getattr,
    .readdir = op_readdir,
    .open = op_open,
    .truncate = op_truncate,
    .read = op_read,
    .write = op_write,
};

static void usage(void)
{
    fprintf(stderr, "usage: ledfs [--log FILE] [--netdev mode|flags|none] --led NAME... MOUNTPOINT\n");
    exit(2);
}

int main(int argc, char **argv)
{
    const char *mountpoint = NULL;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--log") && i + 1 < argc) {
            g_log_fd = open(argv[++i], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (g_log_fd < 0) {
                perror("ledfs: log");
                return 1;
            }
        } else if (!strcmp(argv[i], "--netdev") && i + 1 < argc) {
            const char *k = argv[++i];
            if (!strcmp(k, "mode"))
                g_netdev = NETDEV_MODE;
            else if (!strcmp(k, "flags"))
                g_netdev = NETDEV_FLAGS;
            else if (!strcmp(k, "none"))
                g_netdev = NETDEV_NONE;
            else
                usage();
        } else if (!strcmp(argv[i], "--led") && i + 1 < argc) {
            const char *n = argv[++i];
            if (g_n_leds >= MAX_LEDS || strlen(n) >= NAME_MAX_LEN || strchr(n, '/') || !*n) usage();
            struct led *l = &g_leds[g_n_leds++];
            memset(l, 0, sizeof *l);
            snprintf(l->name, sizeof l->name, "%s", n);
            l->trigger = TRIG_NONE;
        } else if (argv[i][0] != '-' && !mountpoint) {
            mountpoint = argv[i];
        } else {
            usage();
        }
    }
    if (!mountpoint) usage();
    char *fuse_argv[] = {argv[0], (char *)mountpoint, "-f", "-s", "-o", "fsname=ledfs,default_permissions", NULL};
    return fuse_main(6, fuse_argv, &k_ops, NULL);
}
