#pragma once
// The processor's AES instructions (AES-NI), used by the text layer when the
// processor has them. Works on an expanded key of the block layer, whose
// round-key words in memory are the round keys' bytes in block order.

#include <cstddef>
#include <cstdint>

// True when this build and the processor can run the functions below.
bool AESHardwarePresent();

// Blocks 16-byte blocks from In to Out (which may be the same) under the
// expanded key RoundKeys of Rounds rounds. Call only when AESHardwarePresent().
void AESHardwareEncrypt(const uint32_t* RoundKeys, int Rounds, const uint8_t* In, uint8_t* Out,
                        size_t Blocks);
void AESHardwareDecrypt(const uint32_t* RoundKeys, int Rounds, const uint8_t* In, uint8_t* Out,
                        size_t Blocks);
