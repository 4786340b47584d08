#include "glowctl/test/fake_tree.h"
#include "glowctl/ubus_request.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using namespace glowtest;

namespace {

// Echoes what the policy let through, so the typing rules show in the reply.
int echo(const glow_arg *a, glow_reply *r)
{
    if (!a) return 9;
    if (a[0].present) glow_reply_int(r, "a", a[0].i);
    if (a[1].present) glow_reply_string(r, "b", a[1].s);
    if (r->n == 0) glow_reply_string(r, "none", "");
    return 0;
}
const glow_arg_policy kPolicy[] = {{"a", GLOW_ARG_INT32}, {"b", GLOW_ARG_STRING}};
const glow_method kMethods[] = {{"m", kPolicy, 2, echo}};
const glow_object kEcho = {"echo", kMethods, 1};

TEST(UbusRequest, ArgumentsAreTypedAsBlobmsgTypesThem)
{
    struct Case {
        const char *line, *reply;
    } cases[] = {
        {R"({"method":"m","args":{"a":5,"b":"x"}})", R"({"status":0,"reply":{"a":5,"b":"x"}})"},
        {R"({ "args" : { "a" : -2147483648 } , "method" : "m" })", R"({"status":0,"reply":{"a":-2147483648}})"},
        {R"({"method":"m","args":{"a":"5","b":5}})", R"({"status":0,"reply":{"none":""}})"},
        {R"({"method":"m","args":{"a":5.0}})", R"({"status":0,"reply":{"none":""}})"},
        {R"({"method":"m","args":{"a":1e3}})", R"({"status":0,"reply":{"none":""}})"},
        {R"({"method":"m","args":{"a":2147483648}})", R"({"status":0,"reply":{"none":""}})"},
        {R"({"method":"m","args":{"a":true,"b":null}})", R"({"status":0,"reply":{"none":""}})"},
        {R"({"method":"m","args":{"a":[1],"b":{"c":"d"}}})", R"({"status":0,"reply":{"none":""}})"},
        {R"({"method":"m","args":{"b":"7:05\u0000x"}})", R"({"status":0,"reply":{"none":""}})"},
        {R"({"method":"m","args":{"b":"q\"b\\s\/\u00e9\ud83d\ude00"}})",
         "{\"status\":0,\"reply\":{\"b\":\"q\\\"b\\\\s/\xc3\xa9\xf0\x9f\x98\x80\"}}"},
        {R"({"method":"m","args":{"a":1,"a":"x"}})", R"({"status":0,"reply":{"a":1}})"},
        {R"({"method":"m","args":{"a":1,"a":2}})", R"({"status":0,"reply":{"a":2}})"},
        {R"({"method":"m"})", R"({"status":9})"},  // no message at all
        {R"({"method":"other","args":{}})", R"({"status":3})"},
        {R"({"method":"m","args":{"a":}})", R"({"status":2})"},
        {R"({"method":"m","args":{}} x)", R"({"status":2})"},
        {R"({"args":{}})", R"({"status":2})"},
        {R"({"method":"m","args":{"b":"\ud83d"}})", R"({"status":2})"},
        {"{\"method\":\"m\",\"args\":{\"b\":\"a\nb\"}}", R"({"status":2})"},
        {"", R"({"status":2})"},
    };
    for (const Case &c : cases) EXPECT_EQ(ubus_dispatch(kEcho, c.line), c.reply) << c.line;

    std::string deep = R"({"method":"m","args":{"a":)" + std::string(5000, '[') + std::string(5000, ']') + "}}";
    EXPECT_EQ(ubus_dispatch(kEcho, deep), R"({"status":2})");
}

class UbusMethods : public FakeTree {
protected:
    void SetUp() override
    {
        FakeTree::SetUp();
        ASSERT_EQ(brightness_init(), 0);
        fake_zkuci::g_values["glowctl.night_mode.enabled"] = "1";
        night_mode_load();
        night_set_clock([](int *m) {
            *m = 23 * 60 + 30;
            return true;
        });
    }
};

TEST_F(UbusMethods, RepliesAndStatusCodes)
{
    struct Case {
        const glow_object *object;
        const char *line, *reply;
    } cases[] = {
        {&glow_object_glowctl, R"({"method":"get_dim","args":{}})",
         R"({"status":0,"reply":{"on_ns":707403,"off_ns":9292597,"running_leds":0,"level":30,"mode":"pwm"}})"},
        {&glow_object_glowctl, R"({"method":"set_dim","args":{"level":55}})", R"({"status":2})"},
        {&glow_object_glowctl, R"({"method":"set_dim","args":{"level":"50"}})", R"({"status":2})"},
        {&glow_object_glowctl, R"({"method":"set_dim","args":{"on_ns":1,"off_ns":1}})", R"({"status":2})"},
        {&glow_object_glowctl, R"({"method":"set_dim","args":{"on_ns":707403,"off_ns":9292597}})",
         R"({"status":0})"},
        {&glow_object_glowctl, R"({"method":"get_dim","args":{}})",
         R"({"status":0,"reply":{"on_ns":707403,"off_ns":9292597,"running_leds":0,"level":"custom","mode":"pwm"}})"},
        {&glow_object_glowctl, R"({"method":"set_dim","args":{"level":0,"on_ns":1000}})", R"({"status":0})"},
        {&glow_object_glowctl, R"({"method":"get_dim","args":{}})",
         R"({"status":0,"reply":{"on_ns":707403,"off_ns":9292597,"running_leds":0,"level":0,"mode":"force_off"}})"},
        {&glow_object_night_mode, R"({"method":"get_night_mode","args":{}})",
         R"({"status":0,"reply":{"enabled":1,"schedule":1,"start":"22:00","end":"07:00","active":0,"should_run":1,"minutes_local":1410}})"},
        {&glow_object_night_mode, R"({"method":"set_night_mode","args":{"start":"7:05; reboot","end":"8:00"}})",
         R"({"status":9})"},
        {&glow_object_night_mode, R"({"method":"set_night_mode","args":{"start":705,"end":"8:00"}})",
         R"({"status":2})"},
        {&glow_object_night_mode, R"({"method":"set_night_mode","args":{"start":"21:00","end":"7:5"}})",
         R"({"status":0})"},
        {&glow_object_night_mode, R"({"method":"get_night_mode","args":{}})",
         R"({"status":0,"reply":{"enabled":1,"schedule":1,"start":"21:00","end":"07:05","active":1,"should_run":1,"minutes_local":1410}})"},
        {&glow_object_night_mode, R"({"method":"set_dim","args":{}})", R"({"status":3})"},
    };
    for (const Case &c : cases) EXPECT_EQ(ubus_dispatch(*c.object, c.line), c.reply) << c.line;
    EXPECT_EQ(fake_zkuci::g_values["glowctl.night_mode.end"], "7:5") << "stored as sent";
}

std::string call(const std::string &sock, const std::string &line)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    for (int i = 0; i < 200 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0; ++i) usleep(10000);
    std::string out = line + "\n";
    if (write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return "write failed";
    std::string reply;
    char buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) reply.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return reply;
}

TEST_F(UbusMethods, HostBusServesBothObjectsOnTheirSockets)
{
    std::thread([] { glow_ubus_service(); }).detach();  // serves for the rest of the process
    EXPECT_EQ(call(path("/var/run/ubus-host/glowctl.sock"), R"({"method":"set_dim","args":{"level":55}})"),
              "{\"status\":2}\n");
    EXPECT_EQ(call(path("/var/run/ubus-host/night_mode.sock"), R"({"method":"set_night_mode","args":{}})"),
              "{\"status\":2}\n");
    EXPECT_EQ(count_log("night_mode: ubus service started"), 1);
    EXPECT_EQ(count_log("led_brightness: ubus object registered"), 1);
}

}  // namespace
