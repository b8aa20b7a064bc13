// The text layer on 1 MiB against OpenSSL's EVP AES-128-ECB on the same bytes,
// in the same run. OpenSSL is the yardstick only: the program never links it.

#include "cCipherAES.h"

#include <openssl/evp.h>

#include <benchmark/benchmark.h>
#include <random>
#include <stdexcept>
#include <string>

namespace {

constexpr size_t kTextBytes = size_t(1) << 20;

const std::string& Key() {
    static const std::string key = "Kq7!vT2#Lm9%Rx4$";
    return key;
}

const std::string& Text() {
    static const std::string text = [] {
        std::mt19937 rng(11);
        std::string s(kTextBytes, '\0');
        for (char& c : s)
            c = static_cast<char>('a' + rng() % 26); // no trailing byte to trim
        return s;
    }();
    return text;
}

const std::string& Data() {
    static const std::string data = EncryptText(Key(), Text());
    return data;
}

// One EVP pass over In into Out (both kTextBytes), key set up on each call as
// the text layer does.
void Evp(bool Encrypt, const std::string& In, std::string& Out) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    const auto* key = reinterpret_cast<const unsigned char*>(Key().data());
    auto* out = reinterpret_cast<unsigned char*>(Out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(In.data());
    if (!ctx || EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr, Encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx, 0) != 1 ||
        EVP_CipherUpdate(ctx, out, &n, in, static_cast<int>(In.size())) != 1 ||
        size_t(n) != In.size())
        throw std::runtime_error("EVP failed");
    EVP_CIPHER_CTX_free(ctx);
}

void EvpEncrypt(benchmark::State& State) {
    std::string out(kTextBytes, '\0');
    for (auto _ : State) {
        Evp(true, Text(), out);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != Data())
        State.SkipWithError("EVP and EncryptText differ");
    State.SetBytesProcessed(State.iterations() * int64_t(kTextBytes));
}

void EvpDecrypt(benchmark::State& State) {
    std::string out(kTextBytes, '\0');
    for (auto _ : State) {
        Evp(false, Data(), out);
        benchmark::DoNotOptimize(out.data());
    }
    State.SetBytesProcessed(State.iterations() * int64_t(kTextBytes));
}

template <bool Hardware> void Encrypt(benchmark::State& State) {
    AESAllowHardware(Hardware);
    for (auto _ : State)
        benchmark::DoNotOptimize(EncryptText(Key(), Text()));
    AESAllowHardware(true);
    State.SetBytesProcessed(State.iterations() * int64_t(kTextBytes));
}

template <bool Hardware> void Decrypt(benchmark::State& State) {
    AESAllowHardware(Hardware);
    for (auto _ : State)
        benchmark::DoNotOptimize(DecryptText(Key(), Data()));
    AESAllowHardware(true);
    State.SetBytesProcessed(State.iterations() * int64_t(kTextBytes));
}

void EncryptText1MiB(benchmark::State& State) {
    Encrypt<true>(State);
}
void DecryptText1MiB(benchmark::State& State) {
    Decrypt<true>(State);
}
void EncryptTextPortable(benchmark::State& State) {
    Encrypt<false>(State);
}
void DecryptTextPortable(benchmark::State& State) {
    Decrypt<false>(State);
}

#define VMR_CIPHER_BENCH(f)                                                                        \
    BENCHMARK(f)                                                                                   \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->MinTime(0.5)                                                                             \
        ->Repetitions(5)                                                                           \
        ->ReportAggregatesOnly(true)
VMR_CIPHER_BENCH(EvpEncrypt);
VMR_CIPHER_BENCH(EvpDecrypt);
VMR_CIPHER_BENCH(EncryptText1MiB);
VMR_CIPHER_BENCH(DecryptText1MiB);
VMR_CIPHER_BENCH(EncryptTextPortable);
VMR_CIPHER_BENCH(DecryptTextPortable);

} // namespace

BENCHMARK_MAIN();
