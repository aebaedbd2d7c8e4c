// Truncated and lying archives, each built from records and read with
// OpenCorruptedArchives off and on: an engine error, a stream read error or
// the items of a rebuild, never a crash, an overrun or an unbounded allocation
// (the suite runs under AddressSanitizer).
#include <functional>

#include "DirManagerTestSupport.h"

namespace kelvane::test {
namespace {

// What a load gives: items (by name), an engine error, or a stream read error.
struct TExpect {
  int Native = 0;
  bool StreamError = false;
  std::vector<std::string> Names;
};
TExpect Items(std::vector<std::string> names) {
  return {0, false, std::move(names)};
}
TExpect Error(int native) {
  return {native, false, {}};
}
TExpect ReadError() {
  return {0, true, {}};
}

const std::vector<std::string> kBoth = {"a.txt", "b.txt"};

TTestArchive Base() {
  return BuildArchive({Entry("a.txt", "first item data\n"), Entry("b.txt", "second\n")});
}

struct TMalformed {
  const char* Label;
  std::function<TBytes()> Build;
  TExpect Strict;     // OpenCorruptedArchives off
  TExpect Corrupted;  // OpenCorruptedArchives on
};

void PrintTo(const TMalformed& c, std::ostream* os) {
  *os << c.Label;
}

TBytes Mutated(const std::function<void(TTestArchive&)>& change) {
  TTestArchive a = Base();
  change(a);
  return a.Bytes;
}

// Archive A with item Hidden left out of its directory; its local records stay.
TBytes Unlisted(TTestArchive a, size_t hidden) {
  const auto from = static_cast<size_t>(a.Central[hidden]);
  const auto to =
      static_cast<size_t>(hidden + 1 < a.Central.size() ? a.Central[hidden + 1] : a.DirEnd);
  const size_t end = static_cast<size_t>(a.EndPos) - (to - from);
  TBytes& b = a.Bytes;
  b.erase(b.begin() + static_cast<std::ptrdiff_t>(from),
          b.begin() + static_cast<std::ptrdiff_t>(to));
  const uint64_t count = Get(b, end + eocdf::Entries, 2) - 1;
  PutU16(b, end + eocdf::EntriesOnDisk, count);
  PutU16(b, end + eocdf::Entries, count);
  PutU32(b, end + eocdf::DirSize, Get(b, end + eocdf::DirSize, 4) - (to - from));
  return b;
}

TBytes Unlisting(const std::vector<TTestItem>& items, size_t hidden,
                 const TTestArchiveOptions& opt = {}) {
  return Unlisted(BuildArchive(items, opt), hidden);
}

TBytes Zip64Mutated(const std::function<void(TTestArchive&)>& change) {
  TTestArchive a = BuildArchive({Entry("a.txt", "first item data\n"), Entry("b.txt", "second\n")},
                                Opt().WithZip64(true));
  change(a);
  return a.Bytes;
}

const std::vector<TMalformed>& Cases() {
  static const std::vector<TMalformed> cases = {
      // ---- Cut short
      {"cut_inside_the_directory",
       [] { return Mutated([](TTestArchive& a) { a.Bytes.resize(a.DirStart + 30); }); },
       Items(kBoth), Items(kBoth)},
      {"cut_inside_the_last_items_data",
       [] { return Mutated([](TTestArchive& a) { a.Bytes.resize(a.Local[1] + 36); }); },
       Items(kBoth), Items(kBoth)},
      {"cut_inside_the_first_local_header",
       [] { return Mutated([](TTestArchive& a) { a.Bytes.resize(20); }); }, Error(35), Error(35)},
      {"empty_stream", [] { return TBytes(); }, Error(35), Error(35)},
      {"no_signature_at_all", [] { return TBytes(5000, 0x5A); }, Error(35), Error(35)},
      {"end_record_only", [] { return BuildArchive({}).Bytes; }, Items({}), Items({})},

      // ---- Counts and sizes that lie
      {"more_entries_than_the_directory_holds",
       [] {
         return Mutated([](TTestArchive& a) {
           PutU16(a.Bytes, a.EndPos + eocdf::Entries, 5);
           PutU16(a.Bytes, a.EndPos + eocdf::EntriesOnDisk, 5);
         });
       },
       ReadError(), Items(kBoth)},
      {"zip64_count_of_a_billion",  // bounded by the bytes, not by the count
       [] {
         return Zip64Mutated([](TTestArchive& a) {
           PutU64(a.Bytes, a.Zip64EndPos + 24, 1000000000);
           PutU64(a.Bytes, a.Zip64EndPos + 32, 1000000000);
         });
       },
       ReadError(), Items(kBoth)},
      {"zip64_count_beyond_any_array",
       [] {
         return Zip64Mutated([](TTestArchive& a) {
           PutU64(a.Bytes, a.Zip64EndPos + 24, uint64_t{1} << 40);
           PutU64(a.Bytes, a.Zip64EndPos + 32, uint64_t{1} << 40);
         });
       },
       Error(57), Items(kBoth)},
      {"entries_0xFFFF_without_zip64_records",
       [] {
         return Mutated([](TTestArchive& a) {
           PutU16(a.Bytes, a.EndPos + eocdf::Entries, 0xFFFF);
           PutU16(a.Bytes, a.EndPos + eocdf::EntriesOnDisk, 0xFFFF);
         });
       },
       Items(kBoth), Items(kBoth)},
      {"directory_size_reaching_past_the_end_record",  // the record is not valid
       [] {
         return Mutated([](TTestArchive& a) { PutU32(a.Bytes, a.EndPos + eocdf::DirSize, 9999); });
       },
       Items(kBoth), Items(kBoth)},
      {"directory_size_too_small",  // the directory is looked for at the wrong place
       [] {
         return Mutated([](TTestArchive& a) {
           PutU32(a.Bytes, a.EndPos + eocdf::DirSize, a.EndPos - a.DirStart - 10);
         });
       },
       Error(57), Items(kBoth)},
      {"directory_size_too_large_into_item_data",
       [] {
         return Mutated([](TTestArchive& a) {
           PutU32(a.Bytes, a.EndPos + eocdf::DirSize, a.EndPos - a.DirStart + 7);
         });
       },
       Error(57), Items(kBoth)},
      {"directory_offset_past_its_end",  // the record is not valid
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU32(a.Bytes, a.EndPos + eocdf::DirOffset, 5000); });
       },
       Items(kBoth), Items(kBoth)},
      {"comment_length_beyond_the_stream",  // the record is not valid
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU16(a.Bytes, a.EndPos + eocdf::CommentLength, 1); });
       },
       Items(kBoth), Items(kBoth)},
      {"start_disk_after_the_last_disk",  // the record is not valid
       [] {
         return Mutated([](TTestArchive& a) { PutU16(a.Bytes, a.EndPos + eocdf::StartDisk, 1); });
       },
       Items(kBoth), Items(kBoth)},
      {"compressed_size_beyond_the_stream",
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU32(a.Bytes, a.Central[0] + cdf::CompSize, 10000000); });
       },
       Error(57), Items(kBoth)},
      {"zip64_compressed_sizes_adding_past_2_to_the_64",
       [] {
         TTestItem a = Entry("a.txt", "x"), b = Entry("b.txt", "y");
         a.CentralExtra = ExtraBlock(KelZip64ExtraId, Le64(~uint64_t{0} - 1));
         b.CentralExtra = ExtraBlock(KelZip64ExtraId, Le64(~uint64_t{0} - 1));
         TTestArchive t = BuildArchive({a, b});
         PutU32(t.Bytes, t.Central[0] + cdf::CompSize, 0xFFFFFFFF);
         PutU32(t.Bytes, t.Central[1] + cdf::CompSize, 0xFFFFFFFF);
         return t.Bytes;
       },
       Error(57), Items(kBoth)},

      // ---- Variable parts that overrun
      {"extra_block_longer_than_its_area",  // the block is cut, the item kept
       [] {
         TTestItem a = Entry("a.txt", "x");
         a.CentralExtra = std::string(
             "\xFE\xCA\x64\x00"
             "abcd",
             8);  // claims 100 bytes
         return BuildArchive({a, Entry("b.txt", "y")}).Bytes;
       },
       Items(kBoth), Items(kBoth)},
      {"extra_area_of_three_bytes",
       [] {
         TTestItem a = Entry("a.txt", "x");
         a.CentralExtra = std::string("\x01\x00\x08", 3);
         return BuildArchive({a, Entry("b.txt", "y")}).Bytes;
       },
       Items(kBoth), Items(kBoth)},
      {"extra_length_past_the_directory",
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU16(a.Bytes, a.Central[0] + cdf::ExtraLength, 60000); });
       },
       ReadError(), Items(kBoth)},
      {"name_length_past_the_directory",
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU16(a.Bytes, a.Central[1] + cdf::NameLength, 0xFFFF); });
       },
       ReadError(), Items(kBoth)},
      {"item_comment_length_past_the_directory",
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU16(a.Bytes, a.Central[1] + cdf::CommentLength, 300); });
       },
       ReadError(), Items(kBoth)},
      {"name_with_a_zero_byte",  // kept whole: what makes disk paths deals with it
       [] { return BuildArchive({Entry(std::string("a\0b.txt", 7), "x")}).Bytes; },
       Items({std::string("a\0b.txt", 7)}), Items({std::string("a\0b.txt", 7)})},
      {"two_items_without_a_name",
       [] {
         TTestItem a = Entry("a.txt", "x"), b = Entry("b.txt", "y");
         a.CentralName = "";
         b.CentralName = "";
         return BuildArchive({a, b}).Bytes;
       },
       Error(59), Items(kBoth)},

      // ---- The directory and the local headers disagree on the items: no
      // rebuild, which would take the local headers' side.
      {"two_items_at_one_local_header",  // one item's bytes read as two
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU32(a.Bytes, a.Central[1] + cdf::Offset, a.Local[0]); });
       },
       Error(57), Error(57)},
      {"item_behind_the_last_not_listed",
       [] {
         return Unlisting({Entry("a.txt", "x"), Entry("b.txt", "y")}, 1);
       },
       Error(57), Error(57)},
      {"item_behind_the_last_ones_descriptor_not_listed",
       [] {
         TTestItem a = Entry("a.txt", "x");
         a.Descriptor = true;
         a.Flag = KelFlagDataDescriptor;
         return Unlisting({a, Entry("b.txt", "y")}, 1);
       },
       Error(57), Error(57)},
      {"unlisted_header_running_into_the_directory",  // no whole header: not an item
       [] {
         TTestArchive a = BuildArchive({Entry("a.txt", "x"), Entry("b.txt", "y")});
         PutU16(a.Bytes, a.Local[1] + 26, 0xFFFF);  // the local name length
         return Unlisted(a, 1);
       },
       Items({"a.txt"}), Items({"a.txt"})},
      {"item_between_listed_ones_not_listed",  // gaps are not searched
       [] {
         return Unlisting({Entry("a.txt", "x"), Entry("b.txt", "y"), Entry("c.txt", "z")}, 1);
       },
       Items({"a.txt", "c.txt"}), Items({"a.txt", "c.txt"})},
      {"unlisted_item_behind_a_stub",  // a stub may hold anything
       [] {
         return Unlisting({Entry("a.txt", "x"), Entry("b.txt", "y")}, 1, Opt().WithStub("MZ"));
       },
       Items({"a.txt"}), Items({"a.txt"})},

      // ---- Records that are not where they are said to be
      {"central_header_signature_damaged",
       [] { return Mutated([](TTestArchive& a) { PutU32(a.Bytes, a.Central[1], 0x01014B50); }); },
       Error(57), Items(kBoth)},
      {"valid_end_record_copied_into_the_comment",  // only comment: its directory is elsewhere
       [] {
         TTestArchive a = Base();
         const TBytes end(a.Bytes.begin() + a.EndPos, a.Bytes.end());
         PutU16(a.Bytes, a.EndPos + eocdf::CommentLength, end.size());
         a.Bytes.insert(a.Bytes.end(), end.begin(), end.end());
         return a.Bytes;
       },
       Items(kBoth), Items(kBoth)},
      {"zip64_locator_without_a_zip64_end_record",
       [] { return Zip64Mutated([](TTestArchive& a) { PutU32(a.Bytes, a.Zip64EndPos, 0); }); },
       Error(40), Error(40)},
      {"zip64_locator_pointing_beyond_the_stream",
       [] {
         return Zip64Mutated(
             [](TTestArchive& a) { PutU64(a.Bytes, a.LocatorPos + 8, uint64_t{1} << 62); });
       },
       Error(40), Error(40)},
      {"zip64_directory_larger_than_what_precedes_it",
       [] {
         return Zip64Mutated(
             [](TTestArchive& a) { PutU64(a.Bytes, a.Zip64EndPos + 40, uint64_t{1} << 50); });
       },
       Error(57), Items(kBoth)},
      {"first_local_header_offset_beyond_the_stream",  // nothing to measure
       [] {
         return Mutated(
             [](TTestArchive& a) { PutU32(a.Bytes, a.Central[0] + cdf::Offset, 0x7FFFFFFF); });
       },
       Items(kBoth), Items(kBoth)},
  };
  return cases;
}

void ExpectOutcome(const TLoadOutcome& got, const TExpect& want, const std::string& label) {
  SCOPED_TRACE(label);
  if (want.Native != 0) {
    EXPECT_EQ(got.Native, want.Native) << got.Message;
  } else if (want.StreamError) {
    EXPECT_TRUE(got.StreamError) << (got.Ok ? "loaded" : got.Message);
  } else {
    ASSERT_TRUE(got.Ok) << got.Message;
    EXPECT_EQ(got.Names, want.Names);
  }
}

class MalformedArchive : public ::testing::TestWithParam<TMalformed> {};

TEST_P(MalformedArchive, FailsClearlyOrIsRebuilt) {
  const TMalformed& c = GetParam();
  const TBytes bytes = c.Build();
  ExpectOutcome(TryLoad(bytes, false), c.Strict, "OpenCorruptedArchives off");
  ExpectOutcome(TryLoad(bytes, true), c.Corrupted, "OpenCorruptedArchives on");
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedArchive, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Label); });

// Every prefix of an archive (as a download cut short leaves it) loads, fails
// with an engine or read error, or rebuilds; none reads out of bounds.
TEST(MalformedArchiveCuts, EveryPrefixOfAnArchiveIsHandled) {
  std::vector<TTestItem> items = NumberedItems(3);
  items[1].CentralExtra = ExtraBlock(KelZip64ExtraId, "");
  items[2].Comment = "c";
  const TTestArchive a = BuildArchive(items, Opt().WithComment("archive").WithZip64());
  for (size_t n = 0; n <= a.Bytes.size(); ++n) {
    const TBytes cut(a.Bytes.begin(), a.Bytes.begin() + static_cast<ptrdiff_t>(n));
    for (bool corrupted : {false, true}) {
      const TLoadOutcome out = TryLoad(cut, corrupted);
      EXPECT_TRUE(out.Ok || out.Native > 0 || out.StreamError) << n << ": " << out.Message;
      if (n == a.Bytes.size()) {
        EXPECT_EQ(out.Names.size(), 3u);
      }
    }
  }
}

}  // namespace
}  // namespace kelvane::test
