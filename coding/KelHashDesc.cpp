#include "coding/KelHashDesc.h"

#include "coding/Kelsha1.h"

namespace kelvane {

namespace {

using TRegistry = std::array<PHashDesc, MaxHashAlgNum + 1>;

// Filled on first use, so that the registry exists before any static
// initialiser of another unit can ask for it.
TRegistry& Registry() noexcept {
  static TRegistry registry = [] {
    TRegistry r{};
    r[_SHA1] = &SHA1_Desc;
    return r;
  }();
  return registry;
}

char UpCase(char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, std::string_view b) noexcept {
  a = a.substr(0, MaxHashNameLen);
  b = b.substr(0, MaxHashNameLen);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpCase(a[i]) != UpCase(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsValidHashDesc(PHashDesc desc) noexcept {
  return desc != nullptr && desc->HSig == C_HashSig && desc->HDVersion == C_HashVers &&
         desc->HDSize == C_HashDescSize && desc->HInit != nullptr && desc->HFinal != nullptr &&
         desc->HUpdateXL != nullptr && desc->HBlockLen > 0 && desc->HBlockLen <= MaxHashBlockLen &&
         desc->HDigestlen <= MaxHashDigestLen;
}

void RegisterHash(int32_t number, PHashDesc desc) noexcept {
  if (number < 0 || number > MaxHashAlgNum) return;
  if (!IsValidHashDesc(desc) || desc->HAlgNum != number) return;
  Registry()[static_cast<size_t>(number)] = desc;
}

PHashDesc FindHashByAlgorithm(int32_t number) noexcept {
  if (number < 0 || number > MaxHashAlgNum) return nullptr;
  PHashDesc desc = Registry()[static_cast<size_t>(number)];
  if (desc == nullptr || desc->HSig != C_HashSig || desc->HAlgNum != number) return nullptr;
  return desc;
}

PHashDesc FindHashByName(std::string_view name) noexcept {
  for (int32_t i = 0; i <= MaxHashAlgNum; ++i) {
    PHashDesc desc = Registry()[static_cast<size_t>(i)];
    if (desc == nullptr || !SameName(name, desc->HName)) continue;
    if (desc->HSig == C_HashSig && desc->HAlgNum == i) return desc;
  }
  return nullptr;
}

void HashFullBuffer(PHashDesc desc, THashDigest& digest, const void* buffer,
                    int32_t count) noexcept {
  if (!IsValidHashDesc(desc)) return;
  THashContext context;
  desc->HInit(context);
  desc->HUpdateXL(context, buffer, count);
  desc->HFinal(context, digest);
}

}  // namespace kelvane
