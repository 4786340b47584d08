/* Configuration access over the UCI store (/etc/config/<package>).
 *
 * Sections are named ("easymesh_default") or extended references
 * ("@login[0]", "@device[-1]"), resolved as the uci command resolves them.
 * Every write lands in the package file at once (atomic rename, one writer
 * per package at a time across processes) and is visible to any later read;
 * nothing is staged, so a later `uci commit` has nothing of ours to fold.
 * Writers lock <dir>/.<package>.lock with flock(); readers take no lock.
 * A malformed package file makes every call on that package fail with a
 * line on standard error; it is never rewritten. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 0 when the option exists: value copied NUL-terminated within size.
 * Non-zero when anything is missing; the buffer is then left untouched.
 * A list reads as `uci get` prints it: items separated by a blank, an item
 * that holds whitespace in single quotes. */
int zkuci_get(const char *package, const char *section, const char *option, char *buf, size_t size);
/* Creates or replaces the option (the section must exist); 0 on success.
 * Any text is stored as given. An empty value deletes the option, as
 * `uci set` does (uci keeps no empty options). */
int zkuci_set(const char *package, const char *section, const char *option, const char *value);
/* Removes the option; a missing option is no error (0). */
int zkuci_delete(const char *package, const char *section, const char *option);
/* Creates a named section of the given type (creates the package file when
 * needed); an existing section of that name is kept. 0 on success. */
int zkuci_add_section(const char *package, const char *type, const char *name);
/* Removes the section and its options; absence is no error (0). */
int zkuci_del_section(const char *package, const char *name);
/* The option as a decimal integer; -1 when missing or not a number. */
int zkuci_get_int32(const char *package, const char *section, const char *option);
/* Stores the integer as decimal text; value comes first. 0 on success. */
int zkuci_set_int32(int32_t value, const char *package, const char *section, const char *option);
/* mode 1 only: `count` further arguments follow as triples
 * (const char *option, char *buf, size_t size); pass the size as a size_t
 * (sizeof buf), not as a plain int literal. Missing options leave their
 * buffer untouched. 0 when the section exists. */
int zkuci_get_more_options(int mode, const char *package, const char *section, int count, ...);
/* The value from the chip platform's configuration manager: the first line
 * printed by `hi_cfm get <section>.<option>` (run without a shell, 5 s
 * limit; the package only names the UCI home of the value), so
 * ("sysinfo", "sysinfo", "zkt_device_pn_type") asks for
 * "sysinfo.zkt_device_pn_type". A failing command, an empty line or
 * "unknown" counts as absent (non-zero, buffer untouched). */
int zkuci_get_hi_cfm(const char *package, const char *section, const char *option, char *buf, size_t size);

/* Directory holding the package files; "/etc/config" unless changed.
 * Unit tests point it at a scratch directory. */
void zkuci_set_config_dir(const char *dir);
const char *zkuci_config_dir(void);

#ifdef __cplusplus
}
#endif
