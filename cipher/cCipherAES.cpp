#include "cCipherAES.h"

#include "cAESHardware.h"
#include "cCipherUtils.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

namespace {

// GF(2^8) with x^8 + x^4 + x^3 + x + 1. The tables are derived at compile time
// from the field itself, so no hand-typed table can hold a typo.
constexpr uint8_t XTime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
}

struct Tables {
    std::array<uint8_t, 256> Log{};
    std::array<uint8_t, 256> AntiLog{}; // powers of the generator 3
    std::array<uint8_t, 256> SBox{};
    std::array<uint8_t, 256> InvSBox{};
};

constexpr Tables MakeTables() {
    Tables t;
    uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        t.AntiLog[i] = x;
        t.Log[x] = static_cast<uint8_t>(i);
        x = static_cast<uint8_t>(x ^ XTime(x)); // x * 3
    }
    t.AntiLog[255] = t.AntiLog[0];
    for (int a = 0; a < 256; ++a) {
        uint8_t inv = a == 0 ? 0 : t.AntiLog[(255 - t.Log[a]) % 255];
        uint8_t s = inv;
        for (int k = 1; k <= 4; ++k)
            s ^= static_cast<uint8_t>((inv << k) | (inv >> (8 - k)));
        s ^= 0x63;
        t.SBox[a] = s;
        t.InvSBox[s] = static_cast<uint8_t>(a);
    }
    return t;
}

constexpr Tables T = MakeTables();
constexpr uint8_t Rcon[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36};

static_assert(T.SBox[0x00] == 0x63 && T.SBox[0x53] == 0xED && T.InvSBox[0x63] == 0x00);

inline uint8_t Mul(uint8_t a, uint8_t b) {
    if (a == 0 || b == 0)
        return 0;
    return T.AntiLog[(T.Log[a] + T.Log[b]) % 255];
}

inline uint32_t SubWord(uint32_t w) {
    return static_cast<uint32_t>(T.SBox[w & 0xFF]) |
           static_cast<uint32_t>(T.SBox[(w >> 8) & 0xFF]) << 8 |
           static_cast<uint32_t>(T.SBox[(w >> 16) & 0xFF]) << 16 |
           static_cast<uint32_t>(T.SBox[(w >> 24) & 0xFF]) << 24;
}

// In this byte order RotWord moves every byte towards the least significant end.
inline uint32_t RotWord(uint32_t w) {
    return (w >> 8) | (w << 24);
}

void AddRoundKey(TAESContext& c, int round) {
    for (int col = 0; col < 4; ++col) {
        uint32_t w = c.RoundKeys[4 * round + col];
        for (int r = 0; r < 4; ++r)
            c.State[r][col] ^= static_cast<uint8_t>(w >> (8 * r));
    }
}

void SubBytes(TAESContext& c, const std::array<uint8_t, 256>& box) {
    for (auto& row : c.State)
        for (auto& b : row)
            b = box[b];
}

// Row r turns r places to the left (dir 1) or to the right (dir -1).
void ShiftRows(TAESContext& c, int dir) {
    uint8_t tmp[4];
    for (int r = 1; r < 4; ++r) {
        for (int col = 0; col < 4; ++col)
            tmp[col] = c.State[r][(col + dir * r + 4) % 4];
        std::memcpy(c.State[r], tmp, 4);
    }
    SecureZero(tmp, sizeof tmp);
}

void MixColumns(TAESContext& c, const uint8_t (&m)[4]) {
    uint8_t col[4];
    for (int j = 0; j < 4; ++j) {
        for (int r = 0; r < 4; ++r)
            col[r] = c.State[r][j];
        for (int r = 0; r < 4; ++r)
            c.State[r][j] = Mul(m[0], col[r]) ^ Mul(m[1], col[(r + 1) % 4]) ^
                            Mul(m[2], col[(r + 2) % 4]) ^ Mul(m[3], col[(r + 3) % 4]);
    }
    SecureZero(col, sizeof col);
}

constexpr uint8_t MixForward[4] = {0x02, 0x03, 0x01, 0x01};
constexpr uint8_t MixInverse[4] = {0x0E, 0x0B, 0x0D, 0x09};

void CheckKeyBits(int KeyBits) {
    if (KeyBits != 128 && KeyBits != 192 && KeyBits != 256)
        throw ECipher(2, "Invalid AES key length");
}

// Key size of the text layer: from the key's byte length, 128 at the least.
int TextKeyBits(size_t keyLen) {
    size_t bits = keyLen * 8;
    if (bits >= 256)
        return 256;
    if (bits >= 192)
        return 192;
    return 128;
}

std::atomic<bool> HardwareAllowed{true};

} // namespace

int AESRoundsForKeyBits(int KeyBits) {
    CheckKeyBits(KeyBits);
    return KeyBits == 128 ? 10 : KeyBits == 192 ? 12 : 14;
}

void AESInitContext(TAESContext& Context, int KeyBits) {
    CheckKeyBits(KeyBits);
    SecureZero(&Context, sizeof Context);
    Context.KeyWords = static_cast<uint8_t>(KeyBits / 32);
    Context.Rounds = static_cast<uint8_t>(AESRoundsForKeyBits(KeyBits));
}

void AESExpandKey(TAESContext& Context, const void* Key, int KeySize) {
    const int nk = Context.KeyWords;
    if (KeySize != 4 * nk || nk == 0)
        throw ECipher(5, "Invalid key size");
    const auto* k = static_cast<const uint8_t*>(Key);
    for (int i = 0; i < nk; ++i)
        Context.RoundKeys[i] =
            static_cast<uint32_t>(k[4 * i]) | static_cast<uint32_t>(k[4 * i + 1]) << 8 |
            static_cast<uint32_t>(k[4 * i + 2]) << 16 | static_cast<uint32_t>(k[4 * i + 3]) << 24;
    const int total = 4 * (Context.Rounds + 1);
    for (int i = nk; i < total; ++i) {
        uint32_t temp = Context.RoundKeys[i - 1];
        if (i % nk == 0)
            temp = SubWord(RotWord(temp)) ^ Rcon[i / nk];
        else if (nk == 8 && i % 8 == 4)
            temp = SubWord(temp);
        Context.RoundKeys[i] = Context.RoundKeys[i - nk] ^ temp;
    }
}

void AESLoadBlock(TAESContext& Context, const void* Input, int InputSize) {
    if (InputSize != 16)
        throw ECipher(5, "Invalid buffer size");
    const auto* in = static_cast<const uint8_t*>(Input);
    for (int n = 0; n < 16; ++n)
        Context.State[n % 4][n / 4] = in[n];
}

void AESStoreBlock(const TAESContext& Context, void* Output, int OutputSize) {
    if (OutputSize < 16)
        throw ECipher(5, "Invalid buffer size");
    auto* out = static_cast<uint8_t*>(Output);
    for (int n = 0; n < 16; ++n)
        out[n] = Context.State[n % 4][n / 4];
}

void AESContextEncrypt(TAESContext& Context, const void* Input, int InputSize, void* Output,
                       int OutputSize) {
    AESLoadBlock(Context, Input, InputSize);
    AddRoundKey(Context, 0);
    for (int round = 1; round < Context.Rounds; ++round) {
        SubBytes(Context, T.SBox);
        ShiftRows(Context, 1);
        MixColumns(Context, MixForward);
        AddRoundKey(Context, round);
    }
    SubBytes(Context, T.SBox);
    ShiftRows(Context, 1);
    AddRoundKey(Context, Context.Rounds);
    AESStoreBlock(Context, Output, OutputSize);
}

void AESContextDecrypt(TAESContext& Context, const void* Input, int InputSize, void* Output,
                       int OutputSize) {
    AESLoadBlock(Context, Input, InputSize);
    AddRoundKey(Context, Context.Rounds);
    for (int round = Context.Rounds - 1; round >= 1; --round) {
        ShiftRows(Context, -1);
        SubBytes(Context, T.InvSBox);
        AddRoundKey(Context, round);
        MixColumns(Context, MixInverse);
    }
    ShiftRows(Context, -1);
    SubBytes(Context, T.InvSBox);
    AddRoundKey(Context, 0);
    AESStoreBlock(Context, Output, OutputSize);
}

namespace {
template <typename Op>
void OneShot(Op op, int KeyBits, const void* Key, int KeySize, const void* Input, int InputSize,
             void* Output, int OutputSize) {
    TAESContext ctx;
    try {
        AESInitContext(ctx, KeyBits);
        AESExpandKey(ctx, Key, KeySize);
        op(ctx, Input, InputSize, Output, OutputSize);
    } catch (...) {
        AESWipeContext(ctx);
        throw;
    }
    AESWipeContext(ctx);
}

} // namespace

void AESEncryptBlock(int KeyBits, const void* Key, int KeySize, const void* Input, int InputSize,
                     void* Output, int OutputSize) {
    OneShot(AESContextEncrypt, KeyBits, Key, KeySize, Input, InputSize, Output, OutputSize);
}

void AESDecryptBlock(int KeyBits, const void* Key, int KeySize, const void* Input, int InputSize,
                     void* Output, int OutputSize) {
    OneShot(AESContextDecrypt, KeyBits, Key, KeySize, Input, InputSize, Output, OutputSize);
}

void AESWipeContext(TAESContext& Context) noexcept {
    SecureZero(&Context, sizeof Context);
}

TAESTextKey::TAESTextKey(const std::string& Key) : FHardware(AESHardwareInUse()) {
    const int bits = TextKeyBits(Key.size());
    uint8_t key[32] = {};
    std::memcpy(key, Key.data(), std::min<size_t>(size_t(bits / 8), Key.size()));
    AESInitContext(FContext, bits);
    AESExpandKey(FContext, key, bits / 8);
    SecureZero(key, sizeof key);
}

TAESTextKey::~TAESTextKey() {
    AESWipeContext(FContext);
}

void TAESTextKey::Run(bool Encrypt, const void* In, size_t Size, void* Out) {
    const auto* in = static_cast<const uint8_t*>(In);
    auto* out = static_cast<uint8_t*>(Out);
    const size_t whole = Size / 16;
    Blocks(Encrypt, in, out, whole);
    if (const size_t rest = Size % 16) {
        uint8_t last[16] = {};
        std::memcpy(last, in + 16 * whole, rest);
        Blocks(Encrypt, last, last, 1);
        std::memcpy(out + 16 * whole, last, 16);
        SecureZero(last, sizeof last);
    }
}

void TAESTextKey::Blocks(bool Encrypt, const uint8_t* In, uint8_t* Out, size_t Count) {
    if (FHardware) {
        (Encrypt ? AESHardwareEncrypt : AESHardwareDecrypt)(FContext.RoundKeys, FContext.Rounds, In,
                                                            Out, Count);
        return;
    }
    for (size_t i = 0; i < Count; ++i)
        (Encrypt ? AESContextEncrypt : AESContextDecrypt)(FContext, In + 16 * i, 16, Out + 16 * i,
                                                          16);
}

size_t EncryptedSize(size_t Size) {
    return (Size + 15) / 16 * 16;
}

void EncryptBytes(const std::string& Key, const void* Text, size_t Size, void* Out) {
    TAESTextKey(Key).Encrypt(Text, Size, Out);
}

void DecryptBytes(const std::string& Key, const void* Data, size_t Size, void* Out) {
    TAESTextKey(Key).Decrypt(Data, Size, Out);
}

size_t TrimmedSize(const void* Data, size_t Size) {
    const auto* p = static_cast<const char*>(Data);
    while (Size > 0 && (p[Size - 1] == '\0' || p[Size - 1] == ' '))
        --Size;
    return Size;
}

std::string EncryptText(const std::string& Key, const std::string& Text) {
    std::string result(EncryptedSize(Text.size()), '\0');
    EncryptBytes(Key, Text.data(), Text.size(), result.data());
    return result;
}

std::string DecryptText(const std::string& Key, const std::string& Data) {
    std::string result(EncryptedSize(Data.size()), '\0');
    DecryptBytes(Key, Data.data(), Data.size(), result.data());
    result.resize(TrimmedSize(result.data(), result.size()));
    return result;
}

void AESAllowHardware(bool Allow) {
    HardwareAllowed.store(Allow, std::memory_order_relaxed);
}

bool AESHardwareInUse() {
    return HardwareAllowed.load(std::memory_order_relaxed) && AESHardwarePresent();
}
