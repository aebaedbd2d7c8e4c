// What the tool says about damage the engine read past: a directory rebuilt
// from the local headers, local records the directory overrules, and items
// whose method the engine does not decode.
#pragma once

#include <string>

#include "cli/CliArchiver.h"
#include "cli/JsonWriter.h"

namespace kelvane::cli {

// "no end record that fits the file (no end record signature in the last
// 100 bytes)": why the directory was rebuilt; "" when it was not.
std::string RecoveryText(const TKelDirRecovery& recovery);

// Names on standard error an open archive whose directory was rebuilt, with
// the damaged part and the number of items recovered; nothing otherwise.
// True when it warned.
bool WarnIfRebuilt(TCliArchiver& archiver);

// The "damaged" (true or false) and "damage" (null, or the part, the cause
// and the items recovered) members of a JSON description.
void WriteDamageJson(TJsonWriter& json, TCliArchiver& archiver);

// "the data descriptor's compressed size differs from the central directory".
std::string LocalRecordWarningText(TKelLocalRecord record, TKelLocalMismatch mismatch);

// "method 12 (bzip2) is not supported" for an item of a method the engine
// does not decode; "" for stored and Deflate items.
std::string UnsupportedMethodText(const TDirItem& item);

}  // namespace kelvane::cli
