// The glowctl process: board identity, start-up, and the one-second pass
// that decides what the status LED shows.
#pragma once

#include <cstdint>

enum led_status : int { LED_SLOW_BLINKING = 0, LED_FAST_BLINKING = 1, LED_KEEP_ON = 2, LED_KEEP_OFF = 3 };

enum board_kind : int {
    BOARD_OTHER = 0,
    BOARD_RT2200ACH,
    BOARD_RT8100AC,
    BOARD_RT8110_4G,
    BOARD_RT8110_4G_H1,
    BOARD_RT8110_4G_H2,
    BOARD_RT8110_4G_H3,
};

struct daemon_state {
    char board[32] = "";
    board_kind kind = BOARD_OTHER;
    bool led_policy = false;
    bool all_off_at_start = false;

    // Kept across passes.
    int wps_slave = 0;
    int prev_force_off = -1;
    int prev_status = LED_SLOW_BLINKING;
    bool refresh = false;
    int prev_night = -1;
    int prev_block = -1;
    bool wps_latch = false;
    bool prev_radio0 = false, prev_radio1 = false;
    int64_t last_monitor_check = 0;
    int wifi_blink = -1;  // -1 undetermined, 0 off, 1 on
};

// Reads the board identity (messages to standard error on failure).
void glow_read_board(daemon_state &d);
// Start-up; the ubus service thread only when start_service is set.
void glow_startup(daemon_state &d, bool start_service);
// One pass of the loop; now_s is monotonic seconds.
void glow_pass(daemon_state &d, int64_t now_s);

// Helpers with their own rules.
int read_flag_file(const char *path);
int sta_count(const char *path);  // "Total user nums: %d" of a sta_info file, -1 without one
bool wps_probe(const char *ifname);
void uci_led_static(const char *led, bool on);
void uci_led_blink(const char *led, int ms);

// The 120-second WPS countdown started by push-button WPS on a mesh slave.
void wps_timer_start();
void wps_timer_stop();
bool wps_timer_running();
// Length of one countdown second; unit tests shorten it.
void wps_timer_set_tick_ms(int ms);
