// kelvane list: one line per item and a total, or the same as JSON.
#include <cinttypes>
#include <cstdio>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/Damage.h"
#include "cli/ItemFormat.h"
#include "cli/JsonWriter.h"
#include "cli/TextLine.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane list ARCHIVE [MASK...] [-x EXCLUDE...] [OPTIONS]\n"
    "       kelvane l ...\n"
    "\n"
    "Lists the items of ARCHIVE (a split set is named by its last volume):\n"
    "size, compressed size, percent saved, method, encryption, date and time,\n"
    "attributes (D folder, R read-only, H hidden, S system, A archive), CRC-32\n"
    "and name, then a total line.\n"
    "\n"
    "MASK selects items by stored name (\"*\" and \"?\" match any characters,\n"
    "\"/\" included; case of A-Z ignored); default: every item.\n"
    "\n"
    "Options:\n"
    "  -x, --exclude MASK...  leave out the items these masks select\n"
    "      --no-recurse       a mask selects only items in the folder it names\n"
    "      --json             write the listing as JSON\n"
    "  -h, --help             show this help\n";

struct TTotals {
  uint64_t Files = 0, Folders = 0, Size = 0, Compressed = 0;
};

void PrintTextHeader() {
  std::printf("%12s %12s %5s  %-8s %-7s  %-19s  %-5s  %-8s  %s\n", "Size", "Compressed", "Saved",
              "Method", "Crypt", "Modified", "Attr", "CRC-32", "Name");
  std::printf("%12s %12s %5s  %-8s %-7s  %-19s  %-5s  %-8s  %s\n", "------------", "------------",
              "-----", "--------", "-------", "-------------------", "-----", "--------", "----");
}

void PrintTextItem(const TDirItem& item, TTextLine& line) {
  const std::string crypt = EncryptionName(item);
  const uint64_t size = item.UncompressedSize(), packed = item.CompressedSize();
  line.Right(size, 12).Text(" ").Right(packed, 12).Text(" ");
  line.Right(static_cast<uint64_t>(SavedPercent(size, packed)), 4).Text("%  ");
  line.Left(MethodName(item), 8).Text(" ").Left(crypt.empty() ? "-" : crypt, 7).Text("  ");
  line.Text(DosDateTimeText(item.CentralDir.lastModDate, item.CentralDir.lastModTime));
  line.Text("  ").Text(AttributeText(item.CentralDir.externalAttr)).Text("  ");
  line.Hex8(item.CentralDir.crc32).Text("  ").Text(DisplayText(item.Name.Str()));
  line.WriteTo(stdout);
}

void PrintTextTotal(const TTotals& t) {
  std::printf("%12s %12s %5s  %-55s  %s\n", "------------", "------------", "-----", "", "----");
  std::printf("%12" PRIu64 " %12" PRIu64 " %4d%%  %-55s  %" PRIu64 " file%s, %" PRIu64
              " folder%s\n",
              t.Size, t.Compressed, SavedPercent(t.Size, t.Compressed), "", t.Files,
              t.Files == 1 ? "" : "s", t.Folders, t.Folders == 1 ? "" : "s");
}

void WriteJsonItem(TJsonWriter& json, const TDirItem& item) {
  const std::string crypt = EncryptionName(item);
  const uint64_t size = item.UncompressedSize(), packed = item.CompressedSize();
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08" PRIx32, item.CentralDir.crc32);
  json.BeginObject();
  json.Field("name", ToUtf8(item.Name.Str()));
  json.Field("folder", IsFolder(item));
  json.Field("size", size);
  json.Field("compressed", packed);
  json.Field("saved", SavedPercent(size, packed));
  json.Field("method", MethodName(item));
  json.Key("encryption");
  if (crypt.empty())
    json.Null();
  else
    json.String(crypt);
  json.Field("modified",
             DosDateTimeText(item.CentralDir.lastModDate, item.CentralDir.lastModTime, true));
  json.Field("attributes", AttributeText(item.CentralDir.externalAttr));
  json.Field("externalAttributes", uint64_t(item.CentralDir.externalAttr));
  json.Field("crc32", crc);
  json.Field("comment", CommentText(item.Comment()));
  json.EndObject();
}

}  // namespace

int RunList(const std::vector<std::string>& args) {
  const TParsedArgs a =
      ParseArgs(args, {{"help", 'h'}, {"exclude", 'x', true, true}, {"no-recurse"}, {"json"}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.empty()) throw EUsageError("no archive named");
  const std::vector<std::string> masks(a.Positional.begin() + 1, a.Positional.end());
  const bool json = a.Has("json");

  TCliArchiver& archiver = ArchiverUntilExit();
  archiver.OpenForReading(a.Positional[0]);
  WarnIfRebuilt(archiver);
  archiver.Options().SetRecurse(!a.Has("no-recurse"));
  archiver.Select(masks, a.All("exclude"));

  TJsonWriter writer(stdout);
  if (json) {
    writer.BeginObject();
    writer.Field("archive", ToUtf8(FromUtf8(a.Positional[0])));
    WriteDamageJson(writer, archiver);
    writer.Key("items");
    writer.BeginArray();
  } else {
    PrintTextHeader();
  }
  TTotals totals;
  TTextLine line;
  auto show = [&](const TDirItem& item) {
    if (IsFolder(item)) {
      ++totals.Folders;
    } else {
      ++totals.Files;
      totals.Size += item.UncompressedSize();
      totals.Compressed += item.CompressedSize();
    }
    if (json)
      WriteJsonItem(writer, item);
    else
      PrintTextItem(item, line);
  };
  if (masks.empty() && !a.Has("exclude")) {
    // Every item: the search would only confirm each one.
    for (int32_t i = 0; i < archiver.ItemCount(); ++i)
      show(archiver.Item(i));
  } else {
    TKelArchiveItem f;
    for (bool found = archiver.FindFirst(f); found; found = archiver.FindNext(f))
      show(archiver.Item(f.Handle.ItemNo));
  }
  if (json) {
    writer.EndArray();
    writer.Field("files", totals.Files);
    writer.Field("folders", totals.Folders);
    writer.Field("size", totals.Size);
    writer.Field("compressed", totals.Compressed);
    writer.EndObject();
    writer.Finish();
  } else {
    PrintTextTotal(totals);
  }
  return ExitOk;
}

}  // namespace kelvane::cli
