/* Log configuration of the chip platform's software modules.
 *
 * On the router these come from the vendor's libhi_owal_ssf. Where that
 * library is missing, a small library of our own supplies them over a fixed
 * module list whose settings persist in a state file (HI_OWAL_SSF_STATE,
 * default /tmp/hi_owal_ssf.state), so separate runs see earlier settings. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Exchanged with the library; callers zero it before use. */
typedef struct hi_log_cfg {
    uint32_t module;  /* code from hi_get_modcode_byname */
    uint8_t print;    /* debug print level */
    uint8_t trace;    /* system trace setting */
    uint16_t reserved;
} hi_log_cfg;

/* Module code for a name; negative when the library knows no such module. */
int hi_get_modcode_byname(const char *name);
/* Fills print level and trace of cfg->module. */
int hi_log_getcfg(hi_log_cfg *cfg);
/* Applies print level and trace to cfg->module. */
int hi_log_setcfg(hi_log_cfg *cfg);
/* Prints the known module names on standard output. */
void hi_dump_mod_names(void);

#ifdef __cplusplus
}
#endif
