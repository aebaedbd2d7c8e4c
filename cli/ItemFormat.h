// How the tool names an item's properties in listings (text and JSON alike).
#pragma once

#include <cstdint>
#include <string>

#include "container/KelDirItem.h"

namespace kelvane::cli {

// "stored", "deflate", "deflate64", "bzip2", "lzma", ... or "mN" for method N
// (one word, so a listing splits into fields at blanks).
std::string MethodName(const TDirItem& item);
// "AES-128", "AES-192", "AES-256", "PKZIP", or "" when the item is not encrypted.
std::string EncryptionName(const TDirItem& item);
bool IsFolder(const TDirItem& item);
// The DOS attributes as five marks, folder, read-only, hidden, system,
// archive: "D...." or ".R..A"; a mark that is not set is ".".
std::string AttributeText(uint32_t externalAttributes);
// The DOS date and time as stored, "YYYY-MM-DD HH:MM:SS" (with "T" between
// them when Iso), fields shown as they are even when out of range.
std::string DosDateTimeText(uint16_t date, uint16_t time, bool iso = false);
// Percent of the size saved by compression, 0 for an empty item and for one
// that grew.
int SavedPercent(uint64_t size, uint64_t compressed);
// An 8-bit comment as UTF-8: kept when it already is UTF-8, else read in the
// ANSI code page.
std::string CommentText(const std::string& comment);
// "512 B", "1.5 KiB", "12.3 MiB", "2.0 GiB".
std::string HumanBytes(double bytes);

}  // namespace kelvane::cli
