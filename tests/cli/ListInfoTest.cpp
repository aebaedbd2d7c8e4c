// kelvane list and info on archives of other tools, against what an
// independent reader reports about them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "CliRun.h"

namespace kelvane::test {
namespace {

struct TListedLine {
  uint64_t Size = 0, Compressed = 0;
  std::string Method, Crypt, Date, Time, Attr, Name;
  uint32_t Crc = 0;
};

// The item lines of a text listing (between the header and the total).
std::vector<TListedLine> ParseListing(const std::string& out) {
  std::vector<TListedLine> items;
  const std::vector<std::string> lines = Lines(out);
  for (size_t i = 2; i < lines.size() && lines[i].rfind("-----", 0) != 0; ++i) {
    std::istringstream s(lines[i]);
    TListedLine l;
    std::string saved, crc;
    s >> l.Size >> l.Compressed >> saved >> l.Method >> l.Crypt >> l.Date >> l.Time >> l.Attr >>
        crc;
    l.Crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
    std::getline(s, l.Name);
    l.Name.erase(0, l.Name.find_first_not_of(' '));
    items.push_back(l);
  }
  return items;
}

std::string DosText(uint32_t dos) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", (dos >> 25) + 1980,
                (dos >> 21) & 15, (dos >> 16) & 31, (dos >> 11) & 31, (dos >> 5) & 63,
                (dos & 31) * 2);
  return buf;
}

TEST(CliList, EveryArchiveListsAsTheReferenceReader) {
  TFixtures& fx = TFixtures::Get();
  for (const std::string& archive : fx.Archives()) {
    SCOPED_TRACE(archive);
    const TCliRun run = RunCli({"list", fx.Path(archive)});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    const std::vector<TListedLine> listed = ParseListing(run.Out);
    const std::vector<TFixtureItem>& ref = fx.Items(archive);
    ASSERT_EQ(listed.size(), ref.size());
    uint64_t files = 0, folders = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
      SCOPED_TRACE(ref[i].Name);
      const TListedLine& l = listed[i];
      if (NameIsPortable(ref[i])) {
        EXPECT_EQ(l.Name, ref[i].Name);
      }
      EXPECT_EQ(l.Size, ref[i].Size);
      EXPECT_EQ(l.Compressed, ref[i].Compressed);
      EXPECT_EQ(l.Crc, ref[i].Crc);
      EXPECT_EQ(l.Date + " " + l.Time, DosText(ref[i].DosDateTime));
      const bool encrypted = (ref[i].Flags & 1) != 0;
      EXPECT_EQ(l.Crypt != "-", encrypted);
      if (encrypted) {
        EXPECT_EQ(l.Crypt, archive.rfind("7z_aes", 0) == 0 ? "AES-" + archive.substr(6, 3)
                                                           : std::string("PKZIP"));
      }
      (ref[i].Name.back() == '/' ? folders : files) += 1;
    }
    const std::string total = Lines(run.Out).back();
    const std::string counts = std::to_string(files) + (files == 1 ? " file, " : " files, ") +
                               std::to_string(folders) + (folders == 1 ? " folder" : " folders");
    EXPECT_NE(total.find(counts), std::string::npos) << total;
  }
}

TEST(CliList, MasksAndExclusionsSelect) {
  TFixtures& fx = TFixtures::Get();
  struct TCase {
    std::vector<std::string> Args;
    std::set<std::string> Names;
  } cases[] = {
      {{"*.txt", "-x", "sub/*"}, {"empty.txt", "hello.txt", "text.txt", "forced64.txt"}},
      {{"sub/*", "-x", "*.txt"}, {}},
      {{"sub/deeper/*", "random.bin"}, {"sub/deeper/nested.txt", "random.bin"}},
      {{"HELLO.TXT"}, {"hello.txt"}},
      {{"*.txt", "--exclude", "*o*", "*e*"}, {"sub/αβγ.txt", "sub/café.txt"}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"list", fx.Path("python.zip")};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    SCOPED_TRACE(args[2]);
    const TCliRun run = RunCli(args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::set<std::string> names;
    for (const TListedLine& l : ParseListing(run.Out))
      names.insert(l.Name);
    EXPECT_EQ(names, c.Names);
  }
}

// The JSON listing parsed by another program holds what the reference reader
// reports.
TEST(CliList, JsonListingIsWholeAndValid) {
  TFixtures& fx = TFixtures::Get();
  for (const std::string archive : {"python.zip", "7z_aes256.zip", "zip_split.zip"}) {
    SCOPED_TRACE(archive);
    TempDir dir;
    const std::string json = dir.NativePath("list.json");
    const TCliRun run = RunCli({"list", "--json", fx.Path(archive)});
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::ofstream(json, std::ios::binary) << run.Out;
    const std::string tsv = dir.NativePath("list.tsv");
    const std::string cmd =
        "python3 -c \"import json,sys; d=json.load(open(sys.argv[1], encoding='utf-8')); "
        "[print('%s\\t%d\\t%d\\t%s\\t%s' % (i['name'], i['size'], i['compressed'], i['crc32'], "
        "i['encryption'])) for i in d['items']]; print(d['files'], d['folders'])\" " +
        ShellQuoted(json) + " >" + ShellQuoted(tsv);
    ASSERT_EQ(std::system(cmd.c_str()), 0) << run.Out;
    const std::vector<std::string> lines = Lines(ReadWhole(tsv));
    const std::vector<TFixtureItem>& ref = fx.Items(archive);
    ASSERT_EQ(lines.size(), ref.size() + 1);
    for (size_t i = 0; i < ref.size(); ++i) {
      char crc[16];
      std::snprintf(crc, sizeof crc, "%08x", ref[i].Crc);
      const std::string crypt = !(ref[i].Flags & 1) ? "None" : "AES-256";
      std::string expected = ref[i].Name + "\t" + std::to_string(ref[i].Size) + "\t" +
                             std::to_string(ref[i].Compressed) + "\t" + crc + "\t" + crypt;
      if (NameIsPortable(ref[i])) {
        EXPECT_EQ(lines[i], expected);
      }
    }
  }
}

TEST(CliList, ControlCharactersInNamesAreNotSentToTheTerminal) {
  const TCliRun run = RunCli({"list", TCliArchives::Get().Path("control.zip")});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.find('\x1b'), std::string::npos);
  EXPECT_NE(run.Out.find("a?[31mred.txt"), std::string::npos) << run.Out;
  // JSON carries the name whole, escaped.
  const TCliRun json = RunCli({"list", "--json", TCliArchives::Get().Path("control.zip")});
  EXPECT_NE(json.Out.find("a\\u001b[31mred.txt"), std::string::npos) << json.Out;
}

TEST(CliInfo, DescribesTheArchive) {
  TFixtures& fx = TFixtures::Get();
  struct TCase {
    std::string Path;
    std::vector<std::string> Lines;
  } cases[] = {
      {fx.Path("zip_split.zip"),
       {"Spanning mode: split", "Volumes:       6", "Items:         10 items (7 files, 3 folders)",
        "Zip64:         no", "  " + fx.Path("zip_split.z01") + " (65536 bytes)",
        "  " + fx.Path("zip_split.zip") + " (55240 bytes)"}},
      {fx.Path("zip_stub.zip"),
       {"Stub size:     100000 bytes", "Spanning mode: none", "Volumes:       1"}},
      {fx.Path("python_many.zip"),
       {"Zip64:         yes", "Items:         65636 items (65636 files, 0 folders)",
        "Stub size:     0 bytes"}},
      {fx.Path("7z_aes128.zip"), {"Encrypted:     7 items", "Comment:       (none)"}},
      {TCliArchives::Get().Path("commented.zip"),
       {"Comment:       Archive comment, café", "Size:          5 bytes (5 B)",
        "Items:         1 item (1 file, 0 folders)"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    const TCliRun run = RunCli({"info", c.Path});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::vector<std::string> lines = Lines(run.Out);
    for (const std::string& expected : c.Lines) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected << "\n"
                                                                              << run.Out;
    }
  }
}

TEST(CliInfo, JsonDescriptionIsValid) {
  TFixtures& fx = TFixtures::Get();
  TempDir dir;
  const TCliRun run = RunCli({"info", "--json", fx.Path("zip_split.zip")});
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::ofstream(dir.NativePath("info.json"), std::ios::binary) << run.Out;
  const std::string cmd =
      "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
      "assert d['spanningMode'] == 'split' and len(d['volumes']) == 6, d; "
      "assert d['items'] == 10 and d['files'] == 7 and not d['zip64'], d; "
      "assert sum(v['size'] for v in d['volumes']) == 382920, d\" " +
      ShellQuoted(dir.NativePath("info.json"));
  EXPECT_EQ(std::system(cmd.c_str()), 0) << run.Out;
}

}  // namespace
}  // namespace kelvane::test
