// Challenges and responses of the key exchange with the ONT.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t LLDP_AUTH_LEN = 32;

// The key compiled into the agent (UPLINKD_SECRET_KEY build option).
extern const uint8_t g_secret_key[LLDP_AUTH_LEN];

// A fresh challenge from the kernel's random source; falls back to the
// local generator only when that source fails.
int lldp_auth_crypto_get_req(uint8_t out[LLDP_AUTH_LEN], uint8_t *out_len);
// The local generator alone (also the fallback above).
int lldp_auth_crypto_prng_req(uint8_t out[LLDP_AUTH_LEN], uint8_t *out_len);
int lldp_auth_crypto_get_resp(const uint8_t *challenge, size_t challenge_len, uint8_t out[LLDP_AUTH_LEN],
                              uint8_t *out_len);
// 0 when `response` answers `challenge` under the agent's key; compares in
// constant time.
int lldp_auth_crypto_verify(const uint8_t *challenge, size_t challenge_len, const uint8_t *response,
                            size_t response_len);

void calculate_response(const uint8_t challenge[LLDP_AUTH_LEN], uint8_t out[LLDP_AUTH_LEN]);
// The same function under any key: the ONT side (ontsim) and tests use it.
void calculate_response_with_key(const uint8_t key[LLDP_AUTH_LEN], const uint8_t challenge[LLDP_AUTH_LEN],
                                 uint8_t out[LLDP_AUTH_LEN]);
// 0 when the two blocks are equal; time independent of where they differ.
int lldp_auth_crypto_equal(const uint8_t *a, const uint8_t *b, size_t n);
