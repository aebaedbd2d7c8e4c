// Shows that the engine builds, links and starts: creates an archiver the way the
// self-extractor does and prints its version and settings.
#include <cstdio>
#include <string>

#include "engine/Kelvane.h"
#include "platform/Text.h"

using namespace kelvane;

namespace {

const char* Name(TKelCompressionLevel v) {
  static const char* const names[] = {"clNone", "clFastest", "clNormal", "clMax"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(TKelCryptoAlgorithm v) {
  static const char* const names[] = {"caPkzipClassic", "caAES_128", "caAES_192", "caAES_256"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(TZip64Mode v) {
  static const char* const names[] = {"zmDisabled", "zmAuto", "zmAlways"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(TKelSpanningMode v) {
  static const char* const names[] = {"smNone", "smSpanning", "smSplitting"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(TKelVolumeSize v) {
  static const char* const names[] = {"vsAutoDetect", "vsCustom", "vs1_44MB", "vs100MB",
                                      "vs200MB",      "vs250MB",  "vs600MB",  "vs650MB",
                                      "vs700MB",      "vs4700MB"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(TKelStorePathMode v) {
  static const char* const names[] = {"spNoPath", "spRelativePath", "spFullPath",
                                      "spFullPathWithDrive"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(TKelOverwriteMode v) {
  static const char* const names[] = {"omPrompt", "omAlways", "omNever", "omIfNewer", "omIfOlder"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(TKelFileShareMode v) {
  static const char* const names[] = {"smShareCompat", "smShareExclusive", "smShareDenyWrite",
                                      "smShareDenyRead", "smShareDenyNone"};
  return v < std::size(names) ? names[v] : "?";
}
const char* Name(bool v) {
  return v ? "true" : "false";
}

void Line(const char* property, const std::string& value) {
  std::printf("  %-27s %s\n", property, value.c_str());
}

}  // namespace

int main() {
  TComponent owner(nullptr);
  auto* archiver = new TKelvane(&owner);  // freed by its owner
  archiver->SetName(u"Archiver");
  const TKelvane& a = *archiver;
  const TKelOptions& o = a.Options();

  std::string version = ToUtf8(a.CurrentVersion());
  while (!version.empty() && version.back() == ' ')
    version.pop_back();
  std::printf("Kelvane archive engine, version %s\n", version.c_str());
  std::printf("A new archiver \"%s\" (%s) starts with:\n", ToUtf8(a.Name()).c_str(), a.ClassName());
  Line("CurrentVersion", "\"" + ToUtf8(a.CurrentVersion()) + "\"");
  Line("CompressionLevel", Name(a.CompressionLevel()));
  Line("CompressionMode", std::to_string(a.CompressionMode()));
  Line("EncryptionMethod", Name(a.EncryptionMethod()));
  Line("Zip64Mode", Name(a.Zip64Mode()));
  Line("UnicodeFilenames", Name(a.UnicodeFilenames()));
  Line("SpanningMode", Name(a.SpanningMode()));
  Line("SpanningOptions.VolumeSize", Name(a.SpanningOptions().VolumeSize()));
  Line("InMemory", Name(a.InMemory()));
  Line("OpenCorruptedArchives", Name(a.OpenCorruptedArchives()));
  Line("ExtractCorruptedFiles", Name(a.ExtractCorruptedFiles()));
  Line("Options.StorePath", Name(o.StorePath()));
  Line("Options.Recurse", Name(o.Recurse()));
  Line("Options.ShareMode", Name(o.ShareMode()));
  Line("Options.OverwriteMode", Name(o.OverwriteMode()));
  Line("Options.CreateDirs", Name(o.CreateDirs()));
  Line("Options.ReplaceReadOnly", Name(o.ReplaceReadOnly()));
  Line("Options.SetAttributes", Name(o.SetAttributes()));
  char attr[16];
  std::snprintf(attr, sizeof attr, "0x%04X", static_cast<unsigned>(o.SearchAttr()));
  Line("Options.SearchAttr", attr);
  Line("Options.FlushBuffers", Name(o.FlushBuffers()));
  Line("Options.OEMFileNames", Name(o.OEMFileNames()));
  Line("Active", Name(a.Active()));

  // An engine error as the user will see it.
  try {
    (void)a.Size();
    std::printf("Size of a closed archive: no error raised (unexpected)\n");
    return 1;
  } catch (const EKelException& e) {
    std::printf("Asking a closed archiver for its size reports:\n  %s\n", e.what());
  }
  std::printf("The engine is built and linked. Run scripts/test.sh for the test suite.\n");
  return 0;
}
