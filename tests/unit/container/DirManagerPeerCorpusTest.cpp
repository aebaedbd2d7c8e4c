// Archives from other projects' test suites (shared/peers, reached through
// KELVANE_SHARED), opened as the archiver opens them: the end record is looked
// for first (without OpenCorruptedArchives a missing one refuses the archive,
// native error 48, before the directory is read), then LoadDir. Every file is
// read with OpenCorruptedArchives off and on, under AddressSanitizer in CI.
//
// What the directory reader cannot see is left to the layers that read item
// data: sizes, CRCs, data descriptors and methods are checked when an item is
// decoded, and names become disk paths only through the rules that drop
// drive prefixes, leading separators and ".." (a stored name never writes
// outside the destination).
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "DirManagerTestSupport.h"
#include "PeerCorpora.h"

namespace kelvane::test {
namespace {

namespace fs = std::filesystem;

TBytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), {});
}

// The result in a few words: "items:a,b", "items:a stub=4", "error:57",
// "refused" (48: no end record), "read-error".
std::string Open(const TBytes& bytes, bool corrupted, std::vector<std::string>* names = nullptr) {
  TMemoryStream stream = MemoryOf(bytes);
  TFakeHost host(&stream);
  host.Corrupted = corrupted;
  try {
    TKelDirManager dm(&stream, false, &host);
    if (!dm.HasCentralDirEnd()) return "refused";
    dm.LoadDir();
    const std::vector<std::string> listed = NamesOf(dm);
    if (names) *names = listed;
    std::string text = "items:";
    for (size_t i = 0; i < listed.size(); ++i)
      text += (i ? "," : "") + listed[i];
    if (dm.StubSize) text += " stub=" + std::to_string(dm.StubSize);
    return text;
  } catch (const EKelException& e) {
    return "error:" + std::to_string(e.NativeError);
  } catch (const EStreamError&) {
    return "read-error";
  }
}

std::vector<fs::path> ZipFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".zip") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

struct TCorpusRow {
  const char* File;       // below peers/
  const char* Strict;     // OpenCorruptedArchives off
  const char* Corrupted;  // OpenCorruptedArchives on
  const char* Why;
};

// clang-format off
const TCorpusRow kRows[] = {
  // ---- malo accept: valid archives.
  {"malo/zip/accept/comment.zip", "items:foo", "items:foo", "archive comment"},
  {"malo/zip/accept/data_descriptor.zip", "items:fixme", "items:fixme", "the directory has the sizes"},
  {"malo/zip/accept/data_descriptor_zip64.zip", "items:fixme", "items:fixme", "the directory has the sizes"},
  {"malo/zip/accept/deflate.zip", "items:foo", "items:foo", ""},
  {"malo/zip/accept/normal_deflate.zip", "items:fixme", "items:fixme", ""},
  {"malo/zip/accept/normal_deflate_zip64_extra.zip", "items:fixme", "items:fixme", "Zip64 field without escapes"},
  {"malo/zip/accept/store.zip", "items:foo", "items:foo", ""},
  {"malo/zip/accept/subdir.zip", "items:foo/,foo/bar", "items:foo/,foo/bar", ""},
  {"malo/zip/accept/zip64_eocd.zip", "items:fixme", "items:fixme", "Zip64 end records"},

  // ---- malo iffy: odd but unambiguous.
  {"malo/zip/iffy/8bitcomment.zip", "items:foo", "items:foo", "comment bytes are kept raw"},
  {"malo/zip/iffy/comment_cdsize_0.zip", "items:foo", "items:foo", "central sizes differ from the local ones: the decoder reads by the directory and checks the CRC"},
  {"malo/zip/iffy/comment_cdsize_3.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/crc_collision_empty_nonempty.zip", "items:empty,nonempty", "items:empty,nonempty", "data-level"},
  {"malo/zip/iffy/crc_collision_two_nonempty.zip", "items:short,long", "items:short,long", "data-level"},
  {"malo/zip/iffy/crc_zero_nonempty.zip", "items:file", "items:file", "data-level"},
  {"malo/zip/iffy/data_descriptor_cd_zero.zip", "items:fixme", "items:fixme", "descriptors are not read when the directory is"},
  {"malo/zip/iffy/data_descriptor_flag_off.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_flag_off_cd_zero.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_no_sig.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_0.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_a.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_abc123.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_comment.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_foo.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_hello.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_meta.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_packets.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_warehouse.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/data_descriptor_zero_cmt_zz.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/extra3byte.zip", "items:foo", "items:foo", "a 3-byte extra area holds no block and is dropped"},
  {"malo/zip/iffy/non_ascii_original_name.zip", "items:\xC3\xA9", "items:\xC3\xA9", "byte 0x82 without flag bit 11 is OEM: e acute, as the matching 0x7075 field says"},
  {"malo/zip/iffy/nosubdir.zip", "items:foo/bar", "items:foo/bar", "folders are made when extracting"},
  {"malo/zip/iffy/prefix.zip", "items:fixme stub=4", "items:fixme stub=4", "stub measured, offsets shifted"},
  {"malo/zip/iffy/prefix_comment.zip", "items:foo stub=1", "items:foo stub=1", "as above"},
  {"malo/zip/iffy/prefix_crc_collision_two_nonempty.zip", "items:short,long stub=1", "items:short,long stub=1", "as above"},
  {"malo/zip/iffy/prefix_data_descriptor.zip", "items:fixme", "items:fixme", "item 0 has zero CRC and sizes locally, so the stub is not found and the offset stays one short: the decoder finds no local header there"},
  {"malo/zip/iffy/prefix_data_descriptor_zip64.zip", "items:fixme", "items:fixme", "as above"},
  {"malo/zip/iffy/prefix_deflate.zip", "items:foo stub=1", "items:foo stub=1", "stub measured"},
  {"malo/zip/iffy/prefix_non_ascii_original_name.zip", "items:\xC3\xA9 stub=1", "items:\xC3\xA9 stub=1", "stub measured; OEM name"},
  {"malo/zip/iffy/prefix_normal_deflate.zip", "items:fixme stub=1", "items:fixme stub=1", "stub measured"},
  {"malo/zip/iffy/prefix_normal_deflate_zip64_extra.zip", "items:fixme stub=1", "items:fixme stub=1", "stub measured"},
  {"malo/zip/iffy/prefix_store.zip", "items:foo stub=1", "items:foo stub=1", "stub measured"},
  {"malo/zip/iffy/prefix_subdir.zip", "items:foo/,foo/bar stub=1", "items:foo/,foo/bar stub=1", "stub measured at the folder; foo/bar's local header stands a stub further than its offset, so all offsets are shifted"},
  {"malo/zip/iffy/prefix_zip64_eocd.zip", "error:40", "error:40", "the Zip64 end record is read where the locator says, which the stub has moved"},
  {"malo/zip/iffy/store_cdsize_0.zip", "items:foo", "items:foo", "central sizes differ from the local ones (data-level)"},
  {"malo/zip/iffy/store_cdsize_1.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/store_cdsize_2.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/store_cdsize_3.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/store_cdsize_4.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/store_cdsize_5.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/store_cdsize_6.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/store_cdsize_7.zip", "items:foo", "items:foo", "as above"},
  {"malo/zip/iffy/suffix_not_comment.zip", "items:foo", "items:foo", "bytes after the end record's comment are allowed"},
  {"malo/zip/iffy/trailing_slash_attr_mismatch.zip", "items:foo/", "items:foo/", "listed as stored; a name ending in / is a folder on disk"},
  {"malo/zip/iffy/zip64_eocd_extensible_data.zip", "error:57", "items:fixme", "no extensible data sector is assumed, so the directory is looked for 12 bytes late, its signature is missing; the rebuild lists the item"},
  {"malo/zip/iffy/zip64_extra_too_long.zip", "items:fixme", "items:fixme", "values beyond the escaped ones are ignored"},
  {"malo/zip/iffy/zip64_extra_too_short.zip", "items:fixme", "items:fixme", "a value the field cannot hold keeps the header's"},

  // ---- malo malicious: ambiguous in a harmful way.
  {"malo/zip/malicious/second_unicode_extra.zip", "items:original", "items:original", "two 0x7075 fields, both matching the stored name, give two names: ambiguous, so neither is taken and the stored name stays"},
  {"malo/zip/malicious/short_usize.zip", "items:file", "items:file", "the decoder stops at the declared size and fails the item"},
  {"malo/zip/malicious/short_usize_zip64.zip", "items:file", "items:file", "as above"},
  {"malo/zip/malicious/trailing_slash_name.zip", "items:foo/", "items:foo/", "listed as stored"},
  {"malo/zip/malicious/trailing_slash_payload.zip", "items:foo/", "items:foo/", "listed as stored; its data is never written as a file named foo/"},
  {"malo/zip/malicious/unicode_extra_chain.zip", "items:original", "items:original", "as second_unicode_extra: the stale field between the two matching ones does not settle which of them names the item"},
  {"malo/zip/malicious/zip64_eocd_confusion.zip", "items:secon", "items:secon", "the directory ends at the Zip64 end record in front of the locator (the second archive's), with the counts of the record the locator names"},
  {"malo/zip/malicious/zipinzip.zip", "items:filea", "items:filea", "the last end record wins; filea's offset 0 meets fileb's header (a header at 0 always fits item 0), so decoding it fails the CRC"},

  // ---- malo reject: the directory and the local data disagree.
  {"malo/zip/reject/cd_extra_entry.zip", "error:57", "error:57", "two items name one local header: a contradiction, not damage, so no rebuild takes the local headers' side"},
  {"malo/zip/reject/cd_missing_entry.zip", "error:57", "error:57", "a whole local header right behind the last item's data, before the directory: an item the directory does not list"},
  {"malo/zip/reject/data_descriptor_bad_content_zero_crc.zip", "items:fixme", "items:fixme", "data-level: the decoder checks the CRC"},
  {"malo/zip/reject/data_descriptor_bad_crc.zip", "items:fixme", "items:fixme", "data-level: the decoder checks the descriptor"},
  {"malo/zip/reject/data_descriptor_bad_crc_0.zip", "items:fixme", "items:fixme", "data-level"},
  {"malo/zip/reject/data_descriptor_bad_csize.zip", "items:fixme", "items:fixme", "data-level"},
  {"malo/zip/reject/data_descriptor_bad_usize.zip", "items:fixme", "items:fixme", "data-level"},
  {"malo/zip/reject/data_descriptor_bad_usize_no_sig.zip", "items:fixme", "items:fixme", "data-level"},
  {"malo/zip/reject/data_descriptor_zip64_csize.zip", "items:fixme", "items:fixme", "data-level"},
  {"malo/zip/reject/data_descriptor_zip64_usize.zip", "items:fixme", "items:fixme", "data-level"},
  {"malo/zip/reject/shortextra.zip", "items:fixme", "items:fixme", "an extra block running past its area is cut to it and the item marked: decoding it fails"},
  {"malo/zip/reject/zip64_extra_csize.zip", "items:fixme", "items:fixme", "the Zip64 size lies by a byte: data-level"},
  {"malo/zip/reject/zip64_extra_usize.zip", "items:fixme", "items:fixme", "as above"},

  // ---- yauzl failure: the name is the error another reader gives.
  {"yauzl/failure/End of central directory record signature not found Either not a zip file or file is truncated.zip", "refused", "items:a.txt,b.txt", "no end record: refused, or rebuilt from the local headers"},
  {"yauzl/failure/End of central directory record signature not found Either not a zip file or file is truncated_1.zip", "refused", "error:35", "nothing of an archive"},
  {"yauzl/failure/Invalid comment length Expected 1 Found 0 Are there extra bytes at the end of the file Or is the end of central dir signature PK in the com.zip", "items:a.txt,b.txt", "items:a.txt,b.txt", "a byte behind an end record with an empty comment is allowed"},
  {"yauzl/failure/absolute path C xt.zip", "items:C:/xt,b.txt", "items:C:/xt,b.txt", "the drive is dropped when the name becomes a path"},
  {"yauzl/failure/absolute path atxt.zip", "items:/atxt,b.txt", "items:/atxt,b.txt", "the leading separator is dropped when the name becomes a path"},
  {"yauzl/failure/compressed uncompressed size mismatch for stored file 2147483647 5.zip", "error:57", "items:a.txt,b.txt", "compressed sizes beyond the stream"},
  {"yauzl/failure/extra field length exceeds extra field buffer size.zip", "items:a.txt,b.txt", "items:a.txt,b.txt", "the block is cut to its area"},
  {"yauzl/failure/file data overflows file bounds 63 2147483647 308.zip", "error:57", "items:a.txt,b.txt", "compressed sizes beyond the stream"},
  {"yauzl/failure/invalid central directory file header signature 0x1014b50.zip", "error:57", "items:a.txt,b.txt", "no central header where the end record says"},
  {"yauzl/failure/invalid characters in fileName a txt.zip", "items:a\\txt,b.txt", "items:a\\txt,b.txt", "a backslash separates folders when the name becomes a path"},
  {"yauzl/failure/invalid code lengths set.zip", "items:index.js", "items:index.js", "data-level: inflate fails"},
  {"yauzl/failure/invalid local file header signature 0x3034b50.zip", "items:a.txt,b.txt", "items:a.txt,b.txt", "the local header is checked when the item is decoded"},
  {"yauzl/failure/invalid relative path xt.zip", "items:../xt,b.txt", "items:../xt,b.txt", ".. is dropped when the name becomes a path"},
  {"yauzl/failure/invalid zip64 end of central directory record signature.zip", "error:40", "error:40", "locator without its record"},
  {"yauzl/failure/multi-disk zip files are not supported found disk number 1.zip", "items:a.txt,b.txt", "items:a.txt,b.txt", "read as one volume here; opening by file name takes disk 1 for a multi-volume archive and asks for its volumes"},
  {"yauzl/failure/not enough bytes in the stream expected 2048576 got only 1000000.zip", "items:zeros.bin", "items:zeros.bin", "data-level: size check"},
  {"yauzl/failure/strong encryption is not supported.zip", "items:a.txt", "items:a.txt", "data-level"},
  {"yauzl/failure/too many bytes in the stream expected 82496 got at least 98304.zip", "items:zeros.bin", "items:zeros.bin", "data-level: decoding stops at the declared size"},
  {"yauzl/failure/too many length or distance symbols.zip", "items:index.js", "items:index.js", "data-level"},
  {"yauzl/failure/unexpected EOF.zip", "items:empty.txt", "items:empty.txt", "data-level"},
  {"yauzl/failure/unsupported compression method 1.zip", "items:a.txt,b.txt", "items:a.txt,b.txt", "the decoder refuses the method"},
  {"yauzl/failure/zip64 extended information extra field does not include compressed size.zip", "items:empty.txt", "items:empty.txt", "a value the Zip64 field lacks stays 0: the sizes then disagree when decoding"},
  {"yauzl/failure/zip64 extended information extra field does not include relative header offset.zip", "items:empty.txt", "items:empty.txt", "as above"},
  {"yauzl/failure/zip64 extended information extra field does not include uncompressed size.zip", "items:empty.txt", "items:empty.txt", "as above"},
};
// clang-format on

TEST(PeerCorpus, EveryFileGivesTheRecordedOutcome) {
  KEL_REQUIRE_PEERS(root);
  std::map<std::string, const TCorpusRow*> rows;
  for (const TCorpusRow& row : kRows)
    rows[row.File] = &row;
  size_t seen = 0;
  for (const char* group : {"malo/zip/accept", "malo/zip/iffy", "malo/zip/malicious",
                            "malo/zip/reject", "yauzl/failure"}) {
    for (const fs::path& file : ZipFiles(*root / group)) {
      const std::string key = std::string(group) + "/" + file.filename().string();
      SCOPED_TRACE(key);
      const auto row = rows.find(key);
      if (row == rows.end()) {
        ADD_FAILURE() << "not in the table: " << key << " gives " << Open(ReadFile(file), false)
                      << " / " << Open(ReadFile(file), true);
        continue;
      }
      ++seen;
      const TBytes bytes = ReadFile(file);
      EXPECT_EQ(Open(bytes, false), row->second->Strict) << row->second->Why;
      EXPECT_EQ(Open(bytes, true), row->second->Corrupted) << row->second->Why;
    }
  }
  EXPECT_EQ(seen, rows.size()) << "table rows without a file";
}

// Names of a yauzl expected tree: files as paths, and the folders that must
// have an item of their own.
struct TTree {
  std::set<std::string> Files;
  std::set<std::string> Folders;      // every folder in the tree
  std::set<std::string> FolderItems;  // folders that must be listed as items
};

TTree ReadTree(const fs::path& top) {
  TTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    const std::string rel = fs::relative(entry.path(), top).generic_string();
    const std::string name = entry.path().filename().string();
    if (entry.is_directory()) {
      tree.Folders.insert(rel + "/");
    } else if (name == ".git_please_make_this_directory") {
      const std::string parent = fs::relative(entry.path().parent_path(), top).generic_string();
      if (parent != ".") tree.FolderItems.insert(parent + "/");
    } else if (name != ".dont_expect_an_empty_dir_entry_for_this_dir") {
      tree.Files.insert(rel);
    }
  }
  return tree;
}

// Archives whose tree does not show their names: the names they give instead,
// and why.
struct TExplicitNames {
  std::vector<std::string> Names;
  const char* Why;
};
const std::map<std::string, TExplicitNames> kExplicit = {
    {"unicode-path-extra-field",
     {{"\xE4\xB8\x83\xE4\xB8\xAA\xE6\x88\xBF\xE9\x97\xB4.txt"},
      "the header holds control characters; of the four 0x7075 fields only the last names "
      "the item (the others: an empty name, version 2, a CRC of other bytes). The tree spells "
      "the name in Latin letters"}},
    {"unicode",
     {{"Turmion K\xC3\xA4til\xC3\xB6t/", "Turmion K\xC3\xA4til\xC3\xB6t/Hoitovirhe/",
       "Turmion K\xC3\xA4til\xC3\xB6t/Hoitovirhe/Rautaketju.mp3",
       "Turmion K\xC3\xA4til\xC3\xB6t/Pirun nyrkki/",
       "Turmion K\xC3\xA4til\xC3\xB6t/Pirun nyrkki/Mist\xC3\xA4 veri pakenee.mp3"},
      "the tree in this copy of the corpus spells the names without their diacritics"}},
};

TEST(PeerCorpus, SuccessArchivesListTheItemsOfTheirExpectedTrees) {
  KEL_REQUIRE_PEERS(root);
  size_t checked = 0;
  for (const fs::path& file : ZipFiles(*root / "yauzl/success")) {
    const std::string stem = file.stem().string();
    SCOPED_TRACE(stem);
    const TBytes bytes = ReadFile(file);
    std::vector<std::string> names;
    for (bool corrupted : {false, true}) {
      const std::string outcome = Open(bytes, corrupted, &names);
      ASSERT_EQ(outcome.rfind("items:", 0), 0u) << outcome;
    }
    if (const auto known = kExplicit.find(stem); known != kExplicit.end()) {
      EXPECT_EQ(names, known->second.Names) << known->second.Why;
      ++checked;
      continue;
    }
    const fs::path top = *root / "yauzl/success" / stem;
    if (!fs::is_directory(top)) continue;  // listed above; no tree to hold it against
    const TTree tree = ReadTree(top);
    std::set<std::string> files, folders;
    for (std::string name : names) {
      std::replace(name.begin(), name.end(), '\\', '/');  // a separator in disk paths
      (name.ends_with("/") ? folders : files).insert(name);
    }
    if (stem == "everything") {
      // The tree in this copy of the corpus lacks the thousand empty files
      // a/b/000 to a/b/999 that the archive holds.
      for (int i = 0; i < 1000; ++i) {
        const std::string n = std::to_string(1000 + i).substr(1);
        EXPECT_EQ(files.erase("a/b/" + n), 1u) << n;
      }
    }
    EXPECT_EQ(files, tree.Files);
    for (const std::string& folder : folders)
      EXPECT_TRUE(tree.Folders.count(folder)) << folder;
    for (const std::string& folder : tree.FolderItems)
      EXPECT_TRUE(folders.count(folder)) << folder;
    ++checked;
  }
  EXPECT_GE(checked, 15u);
}

}  // namespace
}  // namespace kelvane::test
