// How new items are stored: the options of add, update and move, and their
// translation into the archiver's settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"

namespace kelvane::cli {

// The options add, update and move share, for their parser.
std::vector<TOptionSpec> StoreOptions();

// "64k", "700m", "2g" (powers of 1024) or plain bytes, as a volume size.
// Raises EUsageError for anything else or a size below 64k.
int64_t ParseVolumeSize(const std::string& text);

// Level, no-compression masks, password and its encryption, Zip64 mode and
// link following from Args into Archiver (before it is opened). Raises
// EUsageError for a value that is not one of the listed ones.
void ApplyStoreSettings(TCliArchiver& archiver, const TParsedArgs& args);

// With a password and an archive that holds encrypted items: whether the
// password opens the smallest of them, so that new items do not end up under
// another password than the old ones. Raises std::runtime_error when it does
// not. Nothing without a password or without encrypted items.
void CheckPasswordFitsArchive(TCliArchiver& archiver);

}  // namespace kelvane::cli
