/* Router bus backend over libubus, libubox and uloop. Built only where CMake
 * finds them (an OpenWrt SDK build); the methods themselves live behind
 * ubus_service.h. */
#include "glowctl/ubus_service.h"

#include <libubox/blobmsg.h>
#include <libubox/uloop.h>
#include <libubus.h>
#include <stddef.h>
#include <string.h>

#define MAX_OBJECTS 2
#define MAX_METHODS 4

struct bound_object {
    struct ubus_object object;
    struct ubus_object_type type;
    struct ubus_method methods[MAX_METHODS];
    struct blobmsg_policy policy[MAX_METHODS][GLOW_MAX_ARGS];
    const struct glow_object *def;
};

static struct bound_object g_objects[MAX_OBJECTS];
static int g_n_objects;
static struct blob_buf g_reply;

static const struct glow_method *find_method(const struct ubus_object *obj, const char *name, int *n_policy)
{
    for (int i = 0; i < g_n_objects; ++i) {
        if (&g_objects[i].object != obj) continue;
        const struct glow_object *def = g_objects[i].def;
        for (int m = 0; m < def->n_methods; ++m) {
            if (strcmp(def->methods[m].name, name) != 0) continue;
            *n_policy = g_objects[i].methods[m].n_policy;
            return &def->methods[m];
        }
    }
    return NULL;
}

static const struct blobmsg_policy *policy_of(const struct ubus_object *obj, const char *name)
{
    for (int m = 0; m < obj->n_methods; ++m)
        if (strcmp(obj->methods[m].name, name) == 0) return obj->methods[m].policy;
    return NULL;
}

static int handle(struct ubus_context *ctx, struct ubus_object *obj, struct ubus_request_data *req,
                  const char *method, struct blob_attr *msg)
{
    int n_policy = 0;
    const struct glow_method *m = find_method(obj, method, &n_policy);
    if (!m) return UBUS_STATUS_METHOD_NOT_FOUND;

    struct glow_arg args[GLOW_MAX_ARGS];
    memset(args, 0, sizeof args);
    if (msg && n_policy > 0) {
        struct blob_attr *tb[GLOW_MAX_ARGS] = {0};
        blobmsg_parse(policy_of(obj, method), n_policy, tb, blob_data(msg), blob_len(msg));
        for (int i = 0; i < n_policy; ++i) {
            if (!tb[i]) continue;
            args[i].present = 1;
            if (m->policy[i].type == GLOW_ARG_INT32)
                args[i].i = (int32_t)blobmsg_get_u32(tb[i]);
            else
                args[i].s = blobmsg_get_string(tb[i]);
        }
    }

    struct glow_reply reply;
    memset(&reply, 0, sizeof reply);
    int status = m->fn(msg ? args : NULL, &reply);
    if (status != UBUS_STATUS_OK || reply.n == 0) return status;

    if (blob_buf_init(&g_reply, 0) != 0) return UBUS_STATUS_UNKNOWN_ERROR;
    for (int i = 0; i < reply.n; ++i) {
        const struct glow_reply_field *f = &reply.f[i];
        if (f->is_string)
            blobmsg_add_string(&g_reply, f->name, f->s);
        else
            blobmsg_add_u32(&g_reply, f->name, (uint32_t)f->i);
    }
    ubus_send_reply(ctx, req, g_reply.head);
    return UBUS_STATUS_OK;
}

void *glow_bus_connect(void)
{
    uloop_init();
    struct ubus_context *ctx = ubus_connect(NULL);
    if (!ctx) {
        uloop_done();
        return NULL;
    }
    ubus_add_uloop(ctx);
    return ctx;
}

int glow_bus_add(void *bus, const struct glow_object *def)
{
    if (g_n_objects >= MAX_OBJECTS || def->n_methods > MAX_METHODS) return -1;
    struct bound_object *b = &g_objects[g_n_objects];
    memset(b, 0, sizeof *b);
    b->def = def;
    for (int m = 0; m < def->n_methods; ++m) {
        const struct glow_method *gm = &def->methods[m];
        int n = gm->n_policy < GLOW_MAX_ARGS ? gm->n_policy : GLOW_MAX_ARGS;
        for (int i = 0; i < n; ++i) {
            b->policy[m][i].name = gm->policy[i].name;
            b->policy[m][i].type = gm->policy[i].type == GLOW_ARG_INT32 ? BLOBMSG_TYPE_INT32 : BLOBMSG_TYPE_STRING;
        }
        b->methods[m].name = gm->name;
        b->methods[m].handler = handle;
        b->methods[m].policy = n ? b->policy[m] : NULL;
        b->methods[m].n_policy = n;
    }
    /* Each object's type bears the object's name. */
    b->type.name = def->name;
    b->type.methods = b->methods;
    b->type.n_methods = def->n_methods;
    b->object.name = def->name;
    b->object.type = &b->type;
    b->object.methods = b->methods;
    b->object.n_methods = def->n_methods;
    if (ubus_add_object((struct ubus_context *)bus, &b->object) != 0) return -1;
    ++g_n_objects;
    return 0;
}

void glow_bus_run(void *bus)
{
    (void)bus;
    uloop_run();
}

void glow_bus_free(void *bus)
{
    ubus_free((struct ubus_context *)bus);
    uloop_done();
}
