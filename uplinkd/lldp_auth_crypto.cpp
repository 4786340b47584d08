#include "uplinkd/lldp_auth_crypto.h"

#include <sys/random.h>

#include <cstring>

#include "uplinkd_key.h"

const uint8_t g_secret_key[LLDP_AUTH_LEN] = {
#define K(i) UPLINKD_SECRET_KEY_BYTES[i]
    K(0),  K(1),  K(2),  K(3),  K(4),  K(5),  K(6),  K(7),  K(8),  K(9),  K(10), K(11), K(12), K(13), K(14), K(15),
    K(16), K(17), K(18), K(19), K(20), K(21), K(22), K(23), K(24), K(25), K(26), K(27), K(28), K(29), K(30), K(31),
#undef K
};

namespace {

uint32_t prng_state = 0x0BAD5EEDu;
uint32_t tick_cnt = 0;
uint32_t byte_counter = 0;
uint8_t call_counter = 0;

uint32_t rotl32(uint32_t v, unsigned n) { return (v << n) | (v >> (32 - n)); }

uint8_t rotl8(uint8_t v) { return static_cast<uint8_t>((v << 1) | (v >> 7)); }

}  // namespace

void calculate_response_with_key(const uint8_t key[LLDP_AUTH_LEN], const uint8_t challenge[LLDP_AUTH_LEN],
                                 uint8_t out[LLDP_AUTH_LEN]) {
    std::memset(out, 0, LLDP_AUTH_LEN);
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned j = 0; j < LLDP_AUTH_LEN; ++j) {
            const uint8_t k = j == 0 ? 0xA5 : key[j];
            const uint8_t u = rotl8(static_cast<uint8_t>(k ^ challenge[(j + r) % LLDP_AUTH_LEN]));
            out[j] = static_cast<uint8_t>((out[j] + u) ^ out[(j + 1) % LLDP_AUTH_LEN]);
        }
    }
    out[0] ^= 0xA5;
    for (unsigned i = 1; i < LLDP_AUTH_LEN; ++i) out[i] ^= key[(3 * i) % LLDP_AUTH_LEN];
}

void calculate_response(const uint8_t challenge[LLDP_AUTH_LEN], uint8_t out[LLDP_AUTH_LEN]) {
    calculate_response_with_key(g_secret_key, challenge, out);
}

int lldp_auth_crypto_equal(const uint8_t *a, const uint8_t *b, size_t n) {
    volatile uint8_t diff = 0;
    for (size_t i = 0; i < n; ++i) diff = static_cast<uint8_t>(diff | (a[i] ^ b[i]));
    return diff == 0 ? 0 : -1;
}

int lldp_auth_crypto_prng_req(uint8_t out[LLDP_AUTH_LEN], uint8_t *out_len) {
    if (!out || !out_len) return -1;
    uint8_t work[LLDP_AUTH_LEN];
    const uint32_t t = tick_cnt;
    tick_cnt = t + 2;
    uint32_t s = prng_state ^ rotl32(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(work)), 16) ^ rotl32(t + 2, 16);
    const uint32_t m = rotl32(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&prng_state)), 8);
    for (uint32_t i = 0; i < LLDP_AUTH_LEN; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        work[i] = static_cast<uint8_t>(byte_counter + i + s);
        if (i == 0 || i == 16) s ^= m;
    }
    prng_state = s;
    byte_counter += LLDP_AUTH_LEN;
    const uint8_t c = call_counter;
    for (unsigned b = 0; b < LLDP_AUTH_LEN; b += 8) work[b] ^= static_cast<uint8_t>(c + ((t + 1) >> b));
    call_counter = static_cast<uint8_t>(c + 1);
    std::memcpy(out, work, LLDP_AUTH_LEN);
    *out_len = LLDP_AUTH_LEN;
    return 0;
}

int lldp_auth_crypto_get_req(uint8_t out[LLDP_AUTH_LEN], uint8_t *out_len) {
    if (!out || !out_len) return -1;
    // The challenge is what keeps a recorded exchange from being replayed,
    // so it must not be predictable from outside.
    if (getrandom(out, LLDP_AUTH_LEN, GRND_NONBLOCK) == static_cast<ssize_t>(LLDP_AUTH_LEN)) {
        *out_len = LLDP_AUTH_LEN;
        return 0;
    }
    return lldp_auth_crypto_prng_req(out, out_len);
}

int lldp_auth_crypto_get_resp(const uint8_t *challenge, size_t challenge_len, uint8_t out[LLDP_AUTH_LEN],
                              uint8_t *out_len) {
    if (!challenge || !out || !out_len || challenge_len != LLDP_AUTH_LEN) return -1;
    calculate_response(challenge, out);
    *out_len = LLDP_AUTH_LEN;
    return 0;
}

int lldp_auth_crypto_verify(const uint8_t *challenge, size_t challenge_len, const uint8_t *response,
                            size_t response_len) {
    if (!challenge || !response || challenge_len != LLDP_AUTH_LEN || response_len != LLDP_AUTH_LEN) return -1;
    uint8_t expected[LLDP_AUTH_LEN];
    calculate_response(challenge, expected);
    return lldp_auth_crypto_equal(expected, response, LLDP_AUTH_LEN);
}
