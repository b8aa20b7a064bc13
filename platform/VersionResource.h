#pragma once
// Version information of a file, in place of the Windows version API. An
// executable carries its block (see VersionBlock.h) in an ELF section of its
// own; the block is found through the file's section table, never by scanning
// its bytes.

#include <QString>
#include <QtGlobal>
#include <cstdint>

// The section that holds the version block.
#define VMR_VERSION_SECTION "vmr_version"
constexpr char kVersionSectionName[] = VMR_VERSION_SECTION;

// Only regular files of at most this size are read; anything else has no
// version block. Programs are far smaller.
constexpr qint64 kMaxVersionFileSize = qint64(1) << 30;

// The size in bytes of the file's version block; 0 when the file has none or
// cannot be read.
uint32_t GetFileVersionInfoSize(const QString& FileName);

// Fills Block with the file's version block of Size bytes; false on failure.
bool GetFileVersionInfo(const QString& FileName, uint32_t Size, void* Block);

// Looks SubBlock (such as "\StringFileInfo\040904E4\ProductVersion") up in a
// block of BlockSize bytes. On success Value points at the value inside the
// block and Length is its size: UTF-16 units for text, bytes for binary data;
// IsText tells which, as the node's type says. The value lies wholly inside
// its node, and every node inside its parent and the block. Keys compare
// without regard to case. Nothing outside the block is read, whatever the
// block holds.
bool VerQueryValue(const void* Block, uint32_t BlockSize, const QString& SubBlock,
                   const void** Value, uint32_t* Length, bool* IsText = nullptr);
