#pragma once
// The layout of a version-information block, as the Windows version resource
// has it: nodes of { length, value length, type, UTF-16 key, value, children },
// each on a 4-byte boundary. The root holds the fixed file info; its children
// are "StringFileInfo" with one string table per language and code page, and
// "VarFileInfo" with the translations.
//
// The builder is constexpr, so the executable carries its block as data built
// at compile time; tests build other blocks with it at run time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

struct TVersionString {
    std::u16string_view Name;
    std::u16string_view Value;
};

struct TVersionInfo {
    std::array<uint16_t, 4> FileVersion;
    std::array<uint16_t, 4> ProductVersion;
    uint16_t Language;         // 0x0409: English (United States)
    uint16_t CodePage;         // 0x04E4: 1252
    std::u16string_view Table; // the string table's key, "040904E4"
    std::span<const TVersionString> Strings;
};

// Blocks are at most this large: a node's length is a 16-bit number.
constexpr size_t kMaxVersionBlock = 65535;

struct TVersionBlockBuffer {
    std::array<unsigned char, 4096> Data{};
    size_t Size = 0;
};

namespace version_block_detail {

struct TWriter {
    TVersionBlockBuffer& B;
    constexpr void Byte(unsigned v) { B.Data[B.Size++] = static_cast<unsigned char>(v); }
    constexpr void Word(unsigned v) {
        Byte(v & 0xFF);
        Byte((v >> 8) & 0xFF);
    }
    constexpr void DWord(uint32_t v) {
        Word(v & 0xFFFF);
        Word(v >> 16);
    }
    constexpr void Align() {
        while (B.Size % 4)
            Byte(0);
    }
    constexpr void Text(std::u16string_view s) {
        for (char16_t c : s)
            Word(c);
        Word(0);
    }
    // Starts a node; returns its offset for End().
    constexpr size_t Begin(std::u16string_view Key, unsigned ValueLength, unsigned Type) {
        Align();
        const size_t at = B.Size;
        Word(0);
        Word(ValueLength);
        Word(Type);
        Text(Key);
        Align();
        return at;
    }
    constexpr void End(size_t At) {
        const size_t length = B.Size - At;
        B.Data[At] = static_cast<unsigned char>(length & 0xFF);
        B.Data[At + 1] = static_cast<unsigned char>(length >> 8);
    }
};

constexpr uint32_t High(const std::array<uint16_t, 4>& v) {
    return uint32_t(v[0]) << 16 | v[1];
}
constexpr uint32_t Low(const std::array<uint16_t, 4>& v) {
    return uint32_t(v[2]) << 16 | v[3];
}

} // namespace version_block_detail

constexpr TVersionBlockBuffer BuildVersionBlock(const TVersionInfo& Info) {
    using namespace version_block_detail;
    TVersionBlockBuffer buf;
    TWriter w{buf};
    const size_t root = w.Begin(u"VS_VERSION_INFO", 52, 0);
    w.DWord(0xFEEF04BD); // signature
    w.DWord(0x00010000); // structure version
    w.DWord(High(Info.FileVersion));
    w.DWord(Low(Info.FileVersion));
    w.DWord(High(Info.ProductVersion));
    w.DWord(Low(Info.ProductVersion));
    w.DWord(0x3F);    // flags mask
    w.DWord(0);       // flags
    w.DWord(0x40004); // operating system: 32-bit Windows NT
    w.DWord(1);       // file type: application
    w.DWord(0);       // subtype
    w.DWord(0);       // date
    w.DWord(0);
    const size_t sfi = w.Begin(u"StringFileInfo", 0, 1);
    const size_t table = w.Begin(Info.Table, 0, 1);
    for (const TVersionString& s : Info.Strings) {
        const size_t at = w.Begin(s.Name, unsigned(s.Value.size() + 1), 1);
        w.Text(s.Value);
        w.End(at);
    }
    w.End(table);
    w.End(sfi);
    const size_t vfi = w.Begin(u"VarFileInfo", 0, 1);
    const size_t var = w.Begin(u"Translation", 4, 0);
    w.Word(Info.Language);
    w.Word(Info.CodePage);
    w.End(var);
    w.End(vfi);
    w.End(root);
    return buf;
}

// The first N bytes of a built block, as an array of exactly that size.
template <size_t N>
constexpr std::array<unsigned char, N> VersionBlockBytes(const TVersionBlockBuffer& B) {
    std::array<unsigned char, N> out{};
    for (size_t i = 0; i < N; ++i)
        out[i] = B.Data[i];
    return out;
}
