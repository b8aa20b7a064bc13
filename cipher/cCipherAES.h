#pragma once
// AES (FIPS-197) block layer and the ECB text layer built on it.

#include <cstddef>
#include <cstdint>
#include <string>

struct TAESContext {
    uint8_t KeyWords;       // Nk: 4, 6 or 8
    uint8_t Rounds;         // Nr: 10, 12 or 14
    uint8_t State[4][4];    // row r holds the bytes of columns 0..3
    uint32_t RoundKeys[60]; // word i: key bytes 4i..4i+3, little-endian
};

int AESRoundsForKeyBits(int KeyBits);
void AESInitContext(TAESContext& Context, int KeyBits);
void AESExpandKey(TAESContext& Context, const void* Key, int KeySize);
void AESLoadBlock(TAESContext& Context, const void* Input, int InputSize);
void AESStoreBlock(const TAESContext& Context, void* Output, int OutputSize);
void AESContextEncrypt(TAESContext& Context, const void* Input, int InputSize, void* Output,
                       int OutputSize);
void AESContextDecrypt(TAESContext& Context, const void* Input, int InputSize, void* Output,
                       int OutputSize);
void AESEncryptBlock(int KeyBits, const void* Key, int KeySize, const void* Input, int InputSize,
                     void* Output, int OutputSize);
void AESDecryptBlock(int KeyBits, const void* Key, int KeySize, const void* Input, int InputSize,
                     void* Output, int OutputSize);
void AESWipeContext(TAESContext& Context) noexcept;

// Byte strings in and out (std::string as a byte container). The key's length
// picks AES-128, -192 or -256; the last block is completed with zero bytes.
// The key is expanded once per text and wiped afterwards.
std::string EncryptText(const std::string& Key, const std::string& Text);
// Decrypts block by block and drops trailing 0x00 and 0x20 bytes.
std::string DecryptText(const std::string& Key, const std::string& Data);

// The text layer on caller-owned memory, for callers that move many bytes.
// EncryptedSize(Size): Size rounded up to whole blocks.
size_t EncryptedSize(size_t Size);

// A text layer key, expanded once for many texts and wiped when destroyed.
// Encrypt and Decrypt work as EncryptBytes and DecryptBytes below.
class TAESTextKey {
public:
    explicit TAESTextKey(const std::string& Key);
    ~TAESTextKey();
    TAESTextKey(const TAESTextKey&) = delete;
    TAESTextKey& operator=(const TAESTextKey&) = delete;

    void Encrypt(const void* Text, size_t Size, void* Out) { Run(true, Text, Size, Out); }
    void Decrypt(const void* Data, size_t Size, void* Out) { Run(false, Data, Size, Out); }

private:
    void Run(bool Encrypt, const void* In, size_t Size, void* Out);
    void Blocks(bool Encrypt, const uint8_t* In, uint8_t* Out, size_t Count);

    TAESContext FContext;
    const bool FHardware;
};

// EncryptText of the Size bytes at Text into Out, which holds
// EncryptedSize(Size) bytes and may be Text itself.
void EncryptBytes(const std::string& Key, const void* Text, size_t Size, void* Out);
// Decrypts the Size bytes at Data into Out (EncryptedSize(Size) bytes, may be
// Data itself), a short last block completed with zero bytes. Drops nothing.
void DecryptBytes(const std::string& Key, const void* Data, size_t Size, void* Out);
// Size without the trailing 0x00 and 0x20 bytes that DecryptText drops.
size_t TrimmedSize(const void* Data, size_t Size);

// The text layer runs on the processor's AES instructions when it has them,
// otherwise on the portable block layer; both give the same bytes. Tests and
// benchmarks turn the instructions off to reach the portable path.
void AESAllowHardware(bool Allow);
bool AESHardwareInUse();
