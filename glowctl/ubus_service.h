/* The ubus methods of glowctl behind a small interface of its own: arguments
 * in (typed and checked against the method's policy, as blobmsg does), a
 * reply table and a status code out. A bus backend (libubus on the router, a
 * local socket on a development host) carries them. Plain C so the libubus
 * backend can be built as C against the platform's headers. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum glow_arg_type { GLOW_ARG_INT32 = 0, GLOW_ARG_STRING = 1 };

struct glow_arg_policy {
    const char *name;
    enum glow_arg_type type;
};

#define GLOW_MAX_ARGS 4
#define GLOW_MAX_REPLY 8

/* One per policy entry; an argument of another type counts as absent. */
struct glow_arg {
    int present;
    int32_t i;
    const char *s;
};

struct glow_reply_field {
    const char *name;
    int is_string;
    int32_t i;
    char s[32];
};

struct glow_reply {
    int n; /* 0: the method sends no data */
    struct glow_reply_field f[GLOW_MAX_REPLY];
};

/* Status codes as ubus has them. */
enum { GLOW_STATUS_OK = 0, GLOW_STATUS_INVALID_ARGUMENT = 2, GLOW_STATUS_UNKNOWN_ERROR = 9 };

/* args is NULL when the call carried no message. */
typedef int (*glow_method_fn)(const struct glow_arg *args, struct glow_reply *reply);

struct glow_method {
    const char *name;
    const struct glow_arg_policy *policy;
    int n_policy;
    glow_method_fn fn;
};

struct glow_object {
    const char *name;
    const struct glow_method *methods;
    int n_methods;
};

/* 0, or -1 when the reply table is full. */
int glow_reply_int(struct glow_reply *reply, const char *name, int32_t value);
int glow_reply_string(struct glow_reply *reply, const char *name, const char *value);

extern const struct glow_object glow_object_glowctl;
extern const struct glow_object glow_object_night_mode;

/* A bus backend: connect to the bus, offer objects, serve until the loop ends. */
void *glow_bus_connect(void);
int glow_bus_add(void *bus, const struct glow_object *object);
void glow_bus_run(void *bus);
void glow_bus_free(void *bus);

/* The ubus service thread's work: connect, offer night_mode and glowctl, serve. */
void glow_ubus_service(void);

#ifdef __cplusplus
}
#endif
