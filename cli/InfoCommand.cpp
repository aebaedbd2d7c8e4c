// kelvane info: what the archive as a whole is.
#include <cinttypes>
#include <cstdio>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/Damage.h"
#include "cli/ItemFormat.h"
#include "cli/JsonWriter.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane info ARCHIVE [OPTIONS]\n"
    "\n"
    "Describes ARCHIVE: its comment, the number of items, files and folders,\n"
    "sizes, whether it has Zip64 records, the size of a stub in front of it\n"
    "(a self-extractor), for a multi-volume archive its mode and volumes, and\n"
    "whether it is damaged (its directory rebuilt from the local headers).\n"
    "\n"
    "Options:\n"
    "      --json   write the description as JSON\n"
    "  -h, --help   show this help\n";

struct TSummary {
  int64_t Items = 0, Files = 0, Folders = 0, Encrypted = 0;
  uint64_t Size = 0, Compressed = 0;
};

TSummary Summarize(TCliArchiver& archiver) {
  TSummary s;
  s.Items = archiver.ItemCount();
  for (int32_t i = 0; i < archiver.ItemCount(); ++i) {
    const TDirItem& item = archiver.Item(i);
    if (!EncryptionName(item).empty()) ++s.Encrypted;
    if (IsFolder(item)) {
      ++s.Folders;
      continue;
    }
    s.Size += item.UncompressedSize();
    s.Compressed += item.CompressedSize();
  }
  s.Files = archiver.FileCount();
  return s;
}

std::string Counted(int64_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

const char* SpanningName(TKelSpanningMode mode) {
  switch (mode) {
    case smSpanning:
      return "spanned";
    case smSplitting:
      return "split";
    default:
      return "none";
  }
}

void PrintText(TCliArchiver& archiver, const std::string& path, const TSummary& s,
               const std::vector<TVolumeFile>& volumes) {
  std::printf("Archive:       %s\n", DisplayText(FromUtf8(path)).c_str());
  const std::string comment = CommentText(archiver.Comment());
  std::printf("Comment:       %s\n",
              comment.empty() ? "(none)" : DisplayText(FromUtf8(comment)).c_str());
  std::printf("Items:         %s (%s, %s)\n", Counted(s.Items, "item").c_str(),
              Counted(s.Files, "file").c_str(), Counted(s.Folders, "folder").c_str());
  std::printf("Encrypted:     %s\n", Counted(s.Encrypted, "item").c_str());
  std::printf("Size:          %" PRIu64 " bytes (%s)\n", s.Size,
              HumanBytes(double(s.Size)).c_str());
  std::printf("Compressed:    %" PRIu64 " bytes (%s), %d%% saved\n", s.Compressed,
              HumanBytes(double(s.Compressed)).c_str(), SavedPercent(s.Size, s.Compressed));
  int64_t archiveBytes = 0;
  for (const TVolumeFile& v : volumes)
    archiveBytes += v.Size > 0 ? v.Size : 0;
  std::printf("Archive size:  %" PRId64 " bytes (%s)\n", archiveBytes,
              HumanBytes(double(archiveBytes)).c_str());
  std::printf("Zip64:         %s\n", archiver.Zip64() ? "yes" : "no");
  std::printf("Stub size:     %" PRId64 " bytes\n", archiver.StubSize());
  std::printf("Spanning mode: %s\n", SpanningName(archiver.SpanningMode()));
  const TKelDirRecovery recovery = archiver.DirRecovery();
  if (recovery.Rebuilt())
    std::printf("Damaged:       yes, in its %s: %s; directory rebuilt from the local headers\n",
                RecoveryPart(recovery.Cause), RecoveryText(recovery).c_str());
  else
    std::printf("Damaged:       no\n");
  std::printf("Volumes:       %zu\n", volumes.size());
  if (volumes.size() > 1)
    for (const TVolumeFile& v : volumes) {
      if (v.Size < 0)
        std::printf("  %s (missing)\n", DisplayText(FromUtf8(v.Path)).c_str());
      else
        std::printf("  %s (%" PRId64 " bytes)\n", DisplayText(FromUtf8(v.Path)).c_str(), v.Size);
    }
}

void PrintJson(TCliArchiver& archiver, const std::string& path, const TSummary& s,
               const std::vector<TVolumeFile>& volumes) {
  TJsonWriter json(stdout);
  json.BeginObject();
  json.Field("archive", ToUtf8(FromUtf8(path)));
  json.Field("comment", CommentText(archiver.Comment()));
  json.Field("items", s.Items);
  json.Field("files", s.Files);
  json.Field("folders", s.Folders);
  json.Field("encrypted", s.Encrypted);
  json.Field("size", s.Size);
  json.Field("compressed", s.Compressed);
  json.Field("zip64", archiver.Zip64());
  json.Field("stubSize", archiver.StubSize());
  json.Field("spanningMode", SpanningName(archiver.SpanningMode()));
  WriteDamageJson(json, archiver);
  json.Key("volumes");
  json.BeginArray();
  for (const TVolumeFile& v : volumes) {
    json.BeginObject();
    json.Field("path", ToUtf8(FromUtf8(v.Path)));
    json.Key("size");
    if (v.Size < 0)
      json.Null();
    else
      json.Number(v.Size);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  json.Finish();
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  const TParsedArgs a = ParseArgs(args, {{"help", 'h'}, {"json"}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.size() != 1)
    throw EUsageError(a.Positional.empty() ? "no archive named" : "info takes one archive");
  TCliArchiver& archiver = ArchiverUntilExit();
  archiver.OpenForReading(a.Positional[0]);
  WarnIfRebuilt(archiver);
  const TSummary summary = Summarize(archiver);
  const std::vector<TVolumeFile> volumes = archiver.VolumeFiles();
  if (a.Has("json"))
    PrintJson(archiver, a.Positional[0], summary, volumes);
  else
    PrintText(archiver, a.Positional[0], summary, volumes);
  return ExitOk;
}

}  // namespace kelvane::cli
