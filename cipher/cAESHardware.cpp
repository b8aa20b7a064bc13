#include "cAESHardware.h"

#include "cCipherUtils.h"

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <immintrin.h>

// Compiled for AES-NI whatever the build's target; called only after CPUID.
#define VMR_AESNI __attribute__((target("aes,sse4.1")))

namespace {
// Eight blocks in flight hide the latency of one AES round instruction.
constexpr size_t kLanes = 8;

// Round r's key: words 4r..4r+3, whose little-endian bytes are in block order.
VMR_AESNI inline __m128i RoundKey(const uint32_t* RoundKeys, int r) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(RoundKeys + 4 * r));
}

VMR_AESNI inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

VMR_AESNI inline void Store(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Runs the blocks through the schedule K[0..Rounds]: Enc selects aesenc or
// aesdec (for the equivalent inverse cipher).
template <bool Enc>
VMR_AESNI void Run(const __m128i* K, int Rounds, const uint8_t* In, uint8_t* Out, size_t Blocks) {
    size_t i = 0;
    for (; i + kLanes <= Blocks; i += kLanes) {
        __m128i b[kLanes];
#pragma GCC unroll 8
        for (size_t j = 0; j < kLanes; ++j)
            b[j] = _mm_xor_si128(Load(In + 16 * (i + j)), K[0]);
        for (int r = 1; r < Rounds; ++r) {
            const __m128i k = K[r];
#pragma GCC unroll 8
            for (size_t j = 0; j < kLanes; ++j)
                b[j] = Enc ? _mm_aesenc_si128(b[j], k) : _mm_aesdec_si128(b[j], k);
        }
#pragma GCC unroll 8
        for (size_t j = 0; j < kLanes; ++j)
            Store(Out + 16 * (i + j), Enc ? _mm_aesenclast_si128(b[j], K[Rounds])
                                          : _mm_aesdeclast_si128(b[j], K[Rounds]));
    }
    for (; i < Blocks; ++i) {
        __m128i b = _mm_xor_si128(Load(In + 16 * i), K[0]);
        for (int r = 1; r < Rounds; ++r)
            b = Enc ? _mm_aesenc_si128(b, K[r]) : _mm_aesdec_si128(b, K[r]);
        Store(Out + 16 * i,
              Enc ? _mm_aesenclast_si128(b, K[Rounds]) : _mm_aesdeclast_si128(b, K[Rounds]));
    }
}
} // namespace

bool AESHardwarePresent() {
    static const bool present = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_AES) && (c & bit_SSE4_1);
    }();
    return present;
}

VMR_AESNI void AESHardwareEncrypt(const uint32_t* RoundKeys, int Rounds, const uint8_t* In,
                                  uint8_t* Out, size_t Blocks) {
    __m128i k[15];
    for (int r = 0; r <= Rounds; ++r)
        k[r] = RoundKey(RoundKeys, r);
    Run<true>(k, Rounds, In, Out, Blocks);
    SecureZero(k, sizeof k);
}

// The equivalent inverse cipher: the round keys in reverse order, the inner
// ones passed through InvMixColumns.
VMR_AESNI void AESHardwareDecrypt(const uint32_t* RoundKeys, int Rounds, const uint8_t* In,
                                  uint8_t* Out, size_t Blocks) {
    __m128i k[15];
    k[0] = RoundKey(RoundKeys, Rounds);
    for (int r = 1; r < Rounds; ++r)
        k[r] = _mm_aesimc_si128(RoundKey(RoundKeys, Rounds - r));
    k[Rounds] = RoundKey(RoundKeys, 0);
    Run<false>(k, Rounds, In, Out, Blocks);
    SecureZero(k, sizeof k);
}

#else

bool AESHardwarePresent() {
    return false;
}
void AESHardwareEncrypt(const uint32_t*, int, const uint8_t*, uint8_t*, size_t) {}
void AESHardwareDecrypt(const uint32_t*, int, const uint8_t*, uint8_t*, size_t) {}

#endif
