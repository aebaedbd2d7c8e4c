// Where the peer test corpora are: KELVANE_SHARED/peers, which CTest sets to the
// shared folder beside the project. Tests skip when it is absent.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace kelvane::test {

inline std::optional<std::filesystem::path> PeersRoot() {
  const char* shared = std::getenv("KELVANE_SHARED");
  if (!shared) return std::nullopt;
  const std::filesystem::path root = std::filesystem::path(shared) / "peers";
  if (!std::filesystem::is_directory(root)) return std::nullopt;
  return root;
}

}  // namespace kelvane::test

// Declares Root as the corpora's folder, or skips the test.
#define KEL_REQUIRE_PEERS(root)                                             \
  const auto root = ::kelvane::test::PeersRoot();                           \
  if (!root)                                                                \
  GTEST_SKIP() << "peer corpora not found: KELVANE_SHARED is unset or has " \
                  "no peers folder (CTest sets it to the shared folder)"
