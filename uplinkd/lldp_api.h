// Start and stop of the LLDP machinery: the receive thread and the session
// thread, with the receive ring between them.
#pragma once

#include "uplinkd/lldp_queue.h"

extern lldp_queue g_rx_q;

int lldp_start();
int lldp_stop();
int lldp_is_running();

void *lldp_rx_thread_main(void *arg);
void *lldp_sm_thread_main(void *arg);
