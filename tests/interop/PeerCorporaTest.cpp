// Archives from other projects' test suites (shared/peers, reached through
// KELVANE_SHARED), extracted as the self-extractor extracts: every item of
// every archive, into a folder of its own inside a sandbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "PeerCorpora.h"
#include "TempDir.h"
#include "engine/Kelvane.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;

// Files and folders below Root, relative, "/"-separated, folders with a
// trailing "/", links marked "@".
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> entries;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return entries;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string rel = it->path().lexically_relative(root).generic_string();
    if (it->is_symlink())
      rel += "@";
    else if (it->is_directory())
      rel += "/";
    entries.insert(rel);
  }
  return entries;
}

// The entries with each file's size: "a/,a/b(5)".
std::string Listing(const fs::path& root, const std::set<std::string>& entries) {
  std::string text;
  for (const std::string& e : entries) {
    text += (text.empty() ? "" : ",") + e;
    if (e.back() != '/' && e.back() != '@')
      text += "(" + std::to_string(fs::file_size(root / e)) + ")";
  }
  return text;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// What extracting an archive did.
struct TOutcome {
  int32_t OpenError = 0;  // the native error of a failed opening
  std::string Listing;    // what was written, with file sizes
  std::string Failures;   // "name=native,..." of the failure questions
  std::string Raised;     // an error that left the run
  std::string Warned;     // "name,..." of the local record reports
  int Asked = 0;          // password questions
  int64_t BytesWritten = 0;
  int64_t DeclaredBytes = 0;  // the uncompressed sizes of all items

  // "open:N" when opening failed; else "tree:LISTING" (or "tree=expected"),
  // then " fail:...", " warn:...", " raise:..." and " asked:N" where there
  // are any.
  std::string Text(bool asExpected) const {
    if (OpenError) return "open:" + std::to_string(OpenError);
    std::string text = asExpected ? "tree=expected" : "tree:" + Listing;
    if (!Failures.empty()) text += " fail:" + Failures;
    if (!Warned.empty()) text += " warn:" + Warned;
    if (!Raised.empty()) text += " raise:" + Raised;
    if (Asked) text += " asked:" + std::to_string(Asked);
    return text;
  }
};

// Extracts every item of Archive below Dest as the self-extractor does, with
// every question answered: failures Ignore, passwords Skip, anything else by
// the non-interactive answers.
TOutcome Extract(const fs::path& archive, const fs::path& dest) {
  TOutcome result;
  TScriptedDialogs dialogs;
  {
    TCurrentDialogsScope useDialogs(dialogs);
    TKelvane a(nullptr);
    a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation,
                                  int32_t native, int32_t, const UString&, TKelAction& action) {
      result.Failures +=
          (result.Failures.empty() ? "" : ",") + ToUtf8(name) + "=" + std::to_string(native);
      action = fxaIgnore;
    });
    a.SetOnLocalRecordWarning(
        [&](TKelBaseArchiver*, const UString& name, TKelLocalRecord, TKelLocalMismatch) {
          result.Warned += (result.Warned.empty() ? "" : ",") + ToUtf8(name);
        });
    a.SetOnPassword([&](TKelBaseArchiver*, const UString&, AnsiString&, bool& skip) {
      ++result.Asked;
      skip = true;
    });
    a.SetFileName(FromUtf8(archive.string()));
    a.SetBaseDir(FromUtf8(dest.string()));
    try {
      a.OpenArchive(fmOpenRead | fmShareDenyNone);
      TKelArchiveItem f;
      for (bool ok = a.FindFirst(u"*.*", f, KelAllItemsAttr, u""); ok; ok = a.FindNext(f))
        result.DeclaredBytes += f.UncompressedSize;
      a.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
    } catch (const EKelException& e) {
      if (a.Active())
        result.Raised = "native " + std::to_string(e.NativeError);
      else
        result.OpenError = e.NativeError;
    } catch (const std::exception& e) {
      result.Raised = e.what();
    }
  }
  const std::set<std::string> written = Tree(dest);
  result.Listing = Listing(dest, written);
  for (const std::string& e : written)
    if (e.back() != '/' && e.back() != '@') result.BytesWritten += int64_t(fs::file_size(dest / e));
  return result;
}

std::vector<fs::path> ZipFiles(const fs::path& root) {
  std::vector<fs::path> files;
  for (const char* group : {"malo/zip/accept", "malo/zip/iffy", "malo/zip/malicious",
                            "malo/zip/reject", "yauzl/success", "yauzl/failure"})
    for (const auto& e : fs::directory_iterator(root / group))
      if (e.path().extension() == ".zip") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// ---- Expected trees

bool IsMarker(const fs::path& p) {
  const std::string name = p.filename().string();
  return name == ".git_please_make_this_directory" ||
         name == ".dont_expect_an_empty_dir_entry_for_this_dir";
}

// Latin-1 letters without their marks: the expected trees of the corpus spell
// non-ASCII names so.
UString FoldLatin1(UString name) {
  static constexpr char16_t kBase[] =
      u"AAAAAAACEEEEIIIIDNOOOOO*OUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty";
  for (char16_t& c : name)
    if (c >= 0xC0 && c <= 0xFF) c = kBase[c - 0xC0];
  return name;
}

struct TPeerRow {
  const char* File;     // below peers/
  const char* Outcome;  // as TOutcome::Text gives it
  const char* Why;
  bool FoldNames = false;        // the expected tree spells Latin letters without marks
  const char* Beyond = nullptr;  // entries (a regex) that the expected tree lacks: empty files
};

// Whether Dest holds exactly the tree below Expected (marker files only mark
// their folder), byte for byte.
bool SameAsExpected(const fs::path& dest, const fs::path& expected, const TPeerRow& row) {
  std::map<std::string, fs::path> ours;
  for (const std::string& e : Tree(dest)) {
    if (row.Beyond && std::regex_match(e, std::regex(row.Beyond)) &&
        fs::is_regular_file(dest / e) && fs::file_size(dest / e) == 0)
      continue;
    ours[row.FoldNames ? ToUtf8(FoldLatin1(FromUtf8(e))) : e] = dest / e;
  }
  std::map<std::string, fs::path> theirs;
  for (const std::string& e : Tree(expected))
    if (!IsMarker(e)) theirs[e] = expected / e;
  if (ours.size() != theirs.size()) return false;
  for (const auto& [name, path] : theirs) {
    const auto it = ours.find(name);
    if (it == ours.end()) return false;
    if (name.back() != '/' && ReadAll(it->second) != ReadAll(path)) return false;
  }
  return true;
}

// Where the tree an archive should extract to comes from: the folder beside a
// yauzl success archive, else, for those without one and for malo's accepted
// archives, python's zipfile.
std::optional<fs::path> ExpectedTree(const fs::path& archive, const fs::path& scratch) {
  const std::string group = archive.parent_path().filename().string();
  if (group != "success" && group != "accept") return std::nullopt;
  const fs::path beside = archive.parent_path() / archive.stem();
  if (fs::is_directory(beside)) return beside;
  const std::string cmd =
      "python3 -c \"import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])\" "
      "'" +
      archive.string() + "' '" + scratch.string() + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return std::nullopt;
  return scratch;
}

// ---- The table
//
// "tree=expected": the archive extracts to its expected tree. Otherwise the
// outcome lists what was written, the items that failed (through the failure
// question, answered Ignore) with their native error, and the password
// questions (answered Skip).
//
// Common ground for the rows below: the central directory is the authority.
// Sizes, CRC-32 and method come from it, and each item is verified against
// what the directory declares, so an item gives exactly the bytes the
// directory promises or fails with native error 8. The local header must
// stand where the directory says, with the same method and an extra area
// that can be walked; a CRC, a size or a Zip64 field of it, or of the data
// descriptor behind the data, that disagrees with the directory is reported
// (OnLocalRecordWarning) and overruled, as other tools do. Decoding stops
// once an item would grow beyond its declared size, and an item whose data
// or descriptor would reach into the directory fails.

// clang-format off
const TPeerRow kRows[] = {
  // malo: accept
  {"malo/zip/accept/comment.zip", "tree=expected", "archive comment"},
  {"malo/zip/accept/data_descriptor.zip", "tree=expected", "the descriptor behind the data agrees with the directory"},
  {"malo/zip/accept/data_descriptor_zip64.zip", "tree=expected", "as above, Zip64 descriptor"},
  {"malo/zip/accept/deflate.zip", "tree=expected", ""},
  {"malo/zip/accept/normal_deflate.zip", "tree=expected", ""},
  {"malo/zip/accept/normal_deflate_zip64_extra.zip", "tree=expected", "Zip64 field with the real sizes"},
  {"malo/zip/accept/store.zip", "tree=expected", ""},
  {"malo/zip/accept/subdir.zip", "tree=expected", "folder item and a file in it"},
  {"malo/zip/accept/zip64_eocd.zip", "tree=expected", "Zip64 end record"},
  // malo: iffy
  {"malo/zip/iffy/8bitcomment.zip", "tree:foo(8)", "an 8-bit archive comment is only a comment"},
  {"malo/zip/iffy/comment_cdsize_0.zip", "tree:foo(0) warn:foo", "the local header declares the 8 bytes stored, the directory 0: the directory decides (reported), and its CRC of nothing verifies"},
  {"malo/zip/iffy/comment_cdsize_3.zip", "tree:foo(3) warn:foo", "as comment_cdsize_0, the directory declaring 3 bytes, whose CRC they have"},
  {"malo/zip/iffy/crc_collision_empty_nonempty.zip", "tree:empty(0),nonempty(8)", "two items, each verified on its own"},
  {"malo/zip/iffy/crc_collision_two_nonempty.zip", "tree:long(7),short(3)", "two items with one CRC; each has its own offset and size"},
  {"malo/zip/iffy/crc_zero_nonempty.zip", "tree:file(8)", "data whose CRC-32 really is 0"},
  {"malo/zip/iffy/data_descriptor_cd_zero.zip", "tree:fixme(0) warn:fixme", "the directory declares 0 bytes and CRC 0: an empty item, as declared; the descriptor, read right behind the local header where the Deflate data stands, disagrees and is reported"},
  {"malo/zip/iffy/data_descriptor_flag_off.zip", "tree:fixme(5) warn:fixme", "without flag bit 3 the local header's zero CRC and sizes disagree with the directory: reported, and the directory's values verify"},
  {"malo/zip/iffy/data_descriptor_flag_off_cd_zero.zip", "tree:fixme(0)", "the local header and the directory agree on an empty item without a descriptor: an empty file, as declared; the bytes behind are not read"},
  {"malo/zip/iffy/data_descriptor_no_sig.zip", "tree:fixme(5) warn:fixme", "the four bytes where the descriptor's signature would stand are zeros: read as a descriptor without one, it disagrees (reported); the data verifies by the directory"},
  {"malo/zip/iffy/data_descriptor_zero.zip", "tree:fixme(0) warn:fixme", "as data_descriptor_cd_zero (the real descriptor, all zeros, is never reached)"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_0.zip", "tree:fixme(0) warn:fixme", "as data_descriptor_zero; the comment plays no part"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_a.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_abc123.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_comment.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_foo.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_hello.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_meta.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_packets.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_warehouse.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_zz.zip", "tree:fixme(0) warn:fixme", "as above"},
  {"malo/zip/iffy/extra3byte.zip", "tree:foo(8)", "a 3-byte extra area, central and local, cannot hold a block: padding, never read beyond"},
  {"malo/zip/iffy/non_ascii_original_name.zip", "tree:\xC3\xA9(5)", "byte 0x82 without the UTF-8 flag is e acute in the OEM page, as its matching 0x7075 field says"},
  {"malo/zip/iffy/nosubdir.zip", "tree:foo/,foo/bar(8)", "the folder of foo/bar is made although no item names it"},
  {"malo/zip/iffy/prefix.zip", "tree:fixme(5)", "bytes in front: the stub is measured and the offsets shifted"},
  {"malo/zip/iffy/prefix_comment.zip", "tree:foo(8)", "as above"},
  {"malo/zip/iffy/prefix_crc_collision_two_nonempty.zip", "tree:long(7),short(3)", "as above"},
  {"malo/zip/iffy/prefix_data_descriptor.zip", "tree: fail:fixme=8", "the first local header has zero sizes and CRC, so the stub is not found and the offset stays one byte short: the item fails, nothing is written"},
  {"malo/zip/iffy/prefix_data_descriptor_zip64.zip", "tree: fail:fixme=8", "as above"},
  {"malo/zip/iffy/prefix_deflate.zip", "tree:foo(8)", "stub measured"},
  {"malo/zip/iffy/prefix_non_ascii_original_name.zip", "tree:\xC3\xA9(5)", "stub measured; OEM name"},
  {"malo/zip/iffy/prefix_normal_deflate.zip", "tree:fixme(5)", "stub measured"},
  {"malo/zip/iffy/prefix_normal_deflate_zip64_extra.zip", "tree:fixme(5)", "stub measured"},
  {"malo/zip/iffy/prefix_store.zip", "tree:foo(8)", "stub measured"},
  {"malo/zip/iffy/prefix_subdir.zip", "tree:foo/,foo/bar(8)", "the stub is measured at the folder item; foo/bar's local header stands a byte behind its offset, so every offset is shifted"},
  {"malo/zip/iffy/prefix_zip64_eocd.zip", "open:40", "the Zip64 end record is looked for where the locator says, which the prefix has moved"},
  {"malo/zip/iffy/store_cdsize_0.zip", "tree:foo(0) warn:foo", "the local header declares the 8 bytes stored, the directory 0: the directory decides (reported), and its CRC of nothing verifies"},
  {"malo/zip/iffy/store_cdsize_1.zip", "tree:foo(1) warn:foo", "as store_cdsize_0, the directory declaring 1 byte, whose CRC it has"},
  {"malo/zip/iffy/store_cdsize_2.zip", "tree:foo(2) warn:foo", "as above, 2 bytes"},
  {"malo/zip/iffy/store_cdsize_3.zip", "tree:foo(3) warn:foo", "as above, 3 bytes"},
  {"malo/zip/iffy/store_cdsize_4.zip", "tree:foo(4) warn:foo", "as above, 4 bytes"},
  {"malo/zip/iffy/store_cdsize_5.zip", "tree:foo(5) warn:foo", "as above, 5 bytes"},
  {"malo/zip/iffy/store_cdsize_6.zip", "tree:foo(6) warn:foo", "as above, 6 bytes"},
  {"malo/zip/iffy/store_cdsize_7.zip", "tree:foo(7) warn:foo", "as above, 7 bytes"},
  {"malo/zip/iffy/suffix_not_comment.zip", "tree:foo(8)", "bytes after the end record are not read"},
  {"malo/zip/iffy/trailing_slash_attr_mismatch.zip", "tree:foo/", "a name ending in / is a folder whatever its attributes say; its 7 bytes are not written"},
  {"malo/zip/iffy/zip64_eocd_extensible_data.zip", "tree:fixme(5)", "the Zip64 end record's extensible data is skipped"},
  {"malo/zip/iffy/zip64_extra_too_long.zip", "tree:fixme(5)", "16 bytes of Zip64 field for one escaped size: both sizes, as a local field may always hold; the central one is read for the escaped size only"},
  {"malo/zip/iffy/zip64_extra_too_short.zip", "tree: fail:fixme=8 warn:fixme", "both sizes escaped, the field holds one: the compressed size has no value and the item fails"},
  // malo: malicious
  {"malo/zip/malicious/second_unicode_extra.zip", "tree:original(9)", "two 0x7075 fields both match the stored name but give different names: ambiguous, so the stored name is used, never one of the conflicting ones"},
  {"malo/zip/malicious/short_usize.zip", "tree: fail:file=8", "declares 9 bytes, inflates to more: decoding stops at the declared size and the item fails; nothing is written"},
  {"malo/zip/malicious/short_usize_zip64.zip", "tree: fail:file=8", "as above, sizes in the Zip64 field"},
  {"malo/zip/malicious/trailing_slash_name.zip", "tree:foo/", "a folder by its name: created, its payload ignored"},
  {"malo/zip/malicious/trailing_slash_payload.zip", "tree:foo/", "as above"},
  {"malo/zip/malicious/unicode_extra_chain.zip", "tree:original(9)", "as second_unicode_extra; the stale 0x7075 field between the two matching ones settles nothing"},
  {"malo/zip/malicious/zip64_eocd_confusion.zip", "tree: fail:secon=8 warn:secon", "the directory the Zip64 end record names is read (the second archive's); its item's data does not verify where its offset points, so it fails"},
  {"malo/zip/malicious/zipinzip.zip", "tree: fail:filea=8 warn:filea", "the last end record wins; filea's offset meets fileb's data, which fails filea's CRC"},
  // malo: reject. A local header or data descriptor that disagrees with the
  // directory where the directory cannot settle it fails its item; one the
  // directory settles is reported and the data verified by the directory; a
  // disagreement on which items there are fails the opening.
  {"malo/zip/reject/cd_extra_entry.zip", "open:57", "two directory entries name one local header: refused at opening, OpenCorruptedArchives or not (a rebuild from the local headers would take their side of the contradiction)"},
  {"malo/zip/reject/cd_missing_entry.zip", "open:57", "a whole local header stands right behind the listed item's data, before the directory: an item the directory does not list, refused at opening"},
  {"malo/zip/reject/data_descriptor_bad_content_zero_crc.zip", "tree: fail:fixme=8", "the directory's CRC 0 does not match the data"},
  {"malo/zip/reject/data_descriptor_bad_crc.zip", "tree:fixme(5) warn:fixme", "the descriptor behind the data gives another CRC than the directory: reported; the data verifies by the directory, as other tools find"},
  {"malo/zip/reject/data_descriptor_bad_crc_0.zip", "tree:fixme(5) warn:fixme", "as above, CRC 0"},
  {"malo/zip/reject/data_descriptor_bad_csize.zip", "tree:fixme(5) warn:fixme", "the descriptor gives another compressed size: reported, decoded by the directory"},
  {"malo/zip/reject/data_descriptor_bad_usize.zip", "tree:fixme(5) warn:fixme", "the descriptor gives another uncompressed size: reported, decoded by the directory"},
  {"malo/zip/reject/data_descriptor_bad_usize_no_sig.zip", "tree:fixme(5) warn:fixme", "as above, the descriptor without signature"},
  {"malo/zip/reject/data_descriptor_zip64_csize.zip", "tree:fixme(5) warn:fixme", "the local header has a Zip64 field, so the descriptor's sizes are 64-bit; its compressed size disagrees: reported"},
  {"malo/zip/reject/data_descriptor_zip64_usize.zip", "tree:fixme(5) warn:fixme", "as above, the uncompressed size"},
  {"malo/zip/reject/shortextra.zip", "tree: fail:fixme=8", "a central extra block claims a byte more than its area holds: the item fails when decoded"},
  {"malo/zip/reject/zip64_extra_csize.zip", "tree: fail:fixme=8", "the Zip64 compressed size (8, in both headers) makes the data reach a byte into the directory: the sizes lie and the item fails"},
  {"malo/zip/reject/zip64_extra_usize.zip", "tree: fail:fixme=8", "the Zip64 uncompressed size (6) is not what the data gives (5)"},
  // yauzl: failure
  {"yauzl/failure/End of central directory record signature not found Either not a zip file or file is truncated.zip", "tree:a.txt(5),b.txt(5)", "no end record: with OpenCorruptedArchives (on by default) the items are rebuilt from their local headers, and they verify"},
  {"yauzl/failure/End of central directory record signature not found Either not a zip file or file is truncated_1.zip", "open:35", "no end record and no local header to rebuild from"},
  {"yauzl/failure/Invalid comment length Expected 1 Found 0 Are there extra bytes at the end of the file Or is the end of central dir signature PK in the com.zip", "tree:a.txt(5),b.txt(5)", "a byte after the end record is not read"},
  {"yauzl/failure/absolute path C xt.zip", "tree:b.txt(5),xt(5)", "C:/xt: the drive is dropped, xt lands in the destination"},
  {"yauzl/failure/absolute path atxt.zip", "tree:atxt(5),b.txt(5)", "/atxt: the leading separator is dropped"},
  {"yauzl/failure/compressed uncompressed size mismatch for stored file 2147483647 5.zip", "tree:b.txt(5) fail:a.txt=8 warn:a.txt", "a stored item whose sizes differ fails"},
  {"yauzl/failure/extra field length exceeds extra field buffer size.zip", "tree:a.txt(5) fail:b.txt=8", "b.txt's central extra block claims a byte more than its area holds: b.txt fails"},
  {"yauzl/failure/file data overflows file bounds 63 2147483647 308.zip", "tree:b.txt(5) fail:a.txt=8 warn:a.txt", "the data to read is cut at the directory and then falls short"},
  {"yauzl/failure/invalid central directory file header signature 0x1014b50.zip", "tree:a.txt(5),b.txt(5)", "the directory cannot be read: the items are rebuilt from their local headers and verify"},
  {"yauzl/failure/invalid characters in fileName a txt.zip", "tree:a/,a/txt(5),b.txt(5)", "a backslash separates folders"},
  {"yauzl/failure/invalid code lengths set.zip", "tree: fail:index.js=8", "bad Deflate data"},
  {"yauzl/failure/invalid local file header signature 0x3034b50.zip", "tree:a.txt(5) fail:b.txt=8", "b.txt has no local header signature: nothing tells where its data begins, and it fails"},
  {"yauzl/failure/invalid relative path xt.zip", "tree:b.txt(5),xt(5)", "../xt: the parent reference is dropped"},
  {"yauzl/failure/invalid zip64 end of central directory record signature.zip", "open:40", "the Zip64 end record is missing where the locator points"},
  {"yauzl/failure/multi-disk zip files are not supported found disk number 1.zip", "open:45", "the end record names disk 1: a split archive whose other volume is missing; the volume request is cancelled"},
  {"yauzl/failure/not enough bytes in the stream expected 2048576 got only 1000000.zip", "tree: fail:zeros.bin=8 warn:zeros.bin", "inflates to fewer bytes than declared"},
  {"yauzl/failure/strong encryption is not supported.zip", "tree: asked:1", "encrypted: the password is asked for; Skip skips it"},
  {"yauzl/failure/too many bytes in the stream expected 82496 got at least 98304.zip", "tree: fail:zeros.bin=8 warn:zeros.bin", "inflates beyond the declared size: stopped there"},
  {"yauzl/failure/too many length or distance symbols.zip", "tree: fail:index.js=8", "bad Deflate data"},
  {"yauzl/failure/unexpected EOF.zip", "tree:empty.txt(0)", "sizes 0xFFFFFFFF without a Zip64 field: the Zip64 values are taken, which are 0, and an empty item with CRC 0 verifies"},
  {"yauzl/failure/unsupported compression method 1.zip", "tree:a.txt(5) fail:b.txt=8", "method 1 is not decoded"},
  {"yauzl/failure/zip64 extended information extra field does not include compressed size.zip", "tree:empty.txt(0)", "as unexpected EOF: the missing values are 0"},
  {"yauzl/failure/zip64 extended information extra field does not include relative header offset.zip", "tree:empty.txt(0)", "as above"},
  {"yauzl/failure/zip64 extended information extra field does not include uncompressed size.zip", "tree:empty.txt(0)", "as above"},
  // yauzl: success
  {"yauzl/success/NtfsTimestamp.zip", "tree=expected", ""},
  {"yauzl/success/big-compression.zip", "tree=expected", ""},
  {"yauzl/success/big-uncompressed.zip", "tree=expected", ""},
  {"yauzl/success/bogus-compression-method.zip", "tree: fail:index.js=8", "listed only: method 7 is not decoded"},
  {"yauzl/success/cygwin-info-zip.zip", "tree=expected", ""},
  {"yauzl/success/deflate.zip", "tree=expected", "no expected folder here: compared with what python's zipfile extracts"},
  {"yauzl/success/directories.zip", "tree=expected", "folder items, one of them empty"},
  {"yauzl/success/empty.zip", "tree=expected", "no items"},
  {"yauzl/success/everything.zip", "tree=expected", "the archive also holds the empty files a/b/000 to a/b/999, which the expected folder here lacks", false, "a/b/[0-9]{3}"},
  {"yauzl/success/linux-info-zip.zip", "tree=expected", ""},
  {"yauzl/success/sloppy-filenames.zip", "tree=expected", "a\\txt: a backslash separates folders"},
  {"yauzl/success/streaming.zip", "tree=expected", "data descriptors, each agreeing with the directory"},
  {"yauzl/success/traditional-encryption-and-compression.zip", "tree: asked:1", "listed only: the password is asked for; Skip skips it"},
  {"yauzl/success/traditional-encryption-and-compression_deprecated.zip", "tree: asked:1", "as above"},
  {"yauzl/success/traditional-encryption.zip", "tree: asked:1", "as above"},
  {"yauzl/success/traditional-encryption_deprecated.zip", "tree: asked:1", "as above"},
  {"yauzl/success/unicode-path-extra-field.zip", "tree:\xE4\xB8\x83\xE4\xB8\xAA\xE6\x88\xBF\xE9\x97\xB4.txt(0)", "the stored name is control characters (flag bit 11 set); of its four 0x7075 fields only the last is valid (the others: an empty name, version 2, a CRC of other bytes) and names the item; the expected folder spells the same name in Latin letters (qi ge fangjian.txt, empty)"},
  {"yauzl/success/unicode.zip", "tree=expected", "UTF-8 names; the expected folder spells them without marks", true},
  {"yauzl/success/unix-epoch.zip", "tree=expected", ""},
  {"yauzl/success/windows-7-zip.zip", "tree=expected", ""},
  {"yauzl/success/windows-compressed-folder.zip", "tree=expected", ""},
  {"yauzl/success/zip64.zip", "tree=expected", ""},
};
// clang-format on

TEST(PeerCorpora, EveryArchiveExtractsAsItsRowSaysAndNothingLeavesTheDestination) {
  KEL_REQUIRE_PEERS(root);
  std::map<std::string, const TPeerRow*> rows;
  for (const TPeerRow& row : kRows)
    rows[row.File] = &row;
  std::set<std::string> seen;
  for (const fs::path& file : ZipFiles(*root)) {
    const std::string name = file.lexically_relative(*root).generic_string();
    seen.insert(name);
    SCOPED_TRACE(name);
    test::TempDir box;
    const fs::path dest = box.Root() / "dest";
    const TOutcome outcome = Extract(file, dest);

    test::TempDir scratch;
    const auto it = rows.find(name);
    const TPeerRow fallback{"", "", ""};
    const TPeerRow& row = it != rows.end() ? *it->second : fallback;
    const std::optional<fs::path> expected = ExpectedTree(file, scratch.Root() / "expected");
    const bool asExpected =
        expected && outcome.OpenError == 0 && SameAsExpected(dest, *expected, row);
    const std::string text = outcome.Text(asExpected);
    if (it == rows.end()) {
      ADD_FAILURE() << "no row; the outcome is " << text;
      continue;
    }
    SCOPED_TRACE(row.Why);
    EXPECT_EQ(text, row.Outcome);

    // Whatever the archive: nothing beside the destination, and no more
    // output than the archive declares.
    for (const std::string& e : Tree(box.Root()))
      EXPECT_TRUE(e.rfind("dest/", 0) == 0) << e << " was written outside the destination";
    EXPECT_LE(outcome.BytesWritten, outcome.DeclaredBytes);
  }
  for (const TPeerRow& row : kRows)
    EXPECT_EQ(seen.count(row.File), 1u) << row.File << " has a row but no file";
}

}  // namespace
}  // namespace kelvane
