#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/ZoneMark.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// A folder of its own under the temporary folder, removed with what it holds.
class TScratch {
 public:
  TScratch()
      : FRoot(std::filesystem::temp_directory_path() /
              ("kelvane-zone-" + std::to_string(GetCurrentProcessId()))) {
    std::filesystem::create_directories(FRoot);
  }
  ~TScratch() {
    std::error_code ec;
    std::filesystem::remove_all(FRoot, ec);
  }
  UString Path() const {
    const std::wstring path = FRoot.wstring();
    return UString(path.begin(), path.end());
  }

 private:
  std::filesystem::path FRoot;
};

// A mark is taken over byte for byte and replaces the one a file had; a file
// without one, an empty one or one too big to be a browser's gives nothing.
TEST(ZoneMark, RoundTripsAndRefusesWhatIsNoMark) {
  TScratch dir;
  const UString file = dir.Path() + u"\\setup.exe";
  {
    std::ofstream(std::filesystem::path(std::wstring(file.begin(), file.end())), std::ios::binary)
        << "MZ";
  }
  EXPECT_FALSE(ReadZoneMark(file));

  const std::string mark = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.invalid/\r\n";
  ASSERT_TRUE(WriteZoneMark(file, "[ZoneTransfer]\r\nZoneId=4\r\nAn older, longer mark\r\n"));
  ASSERT_TRUE(WriteZoneMark(file, mark));
  EXPECT_EQ(ReadZoneMark(file), mark);

  ASSERT_TRUE(WriteZoneMark(file, ""));
  EXPECT_FALSE(ReadZoneMark(file));
  ASSERT_TRUE(WriteZoneMark(file, std::string(kMaxZoneMarkBytes + 1, 'x')));
  EXPECT_FALSE(ReadZoneMark(file));
  ASSERT_TRUE(WriteZoneMark(file, std::string(kMaxZoneMarkBytes, 'x')));
  EXPECT_EQ(ReadZoneMark(file)->size(), kMaxZoneMarkBytes);

  EXPECT_FALSE(WriteZoneMark(dir.Path() + u"\\missing\\file.txt", mark));
}

}  // namespace
}  // namespace kelvane
