#include "container/KelZipRecords.h"

#include <algorithm>
#include <type_traits>

namespace kelvane {
namespace {

template <class T>
T ReadField(TKelByteReader& in) {
  static_assert(sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
  if constexpr (sizeof(T) == 2)
    return in.U16();
  else if constexpr (sizeof(T) == 4)
    return in.U32();
  else
    return in.U64();
}

// Parses into a copy so that a short input leaves the record untouched.
template <class R>
bool ReadFields(R& record, std::span<const uint8_t> bytes) {
  if (bytes.size() < R::Size) return false;
  TKelByteReader in(bytes.first(R::Size));
  R parsed;
  R::Fields(parsed,
            [&in](auto& field) { field = ReadField<std::remove_cvref_t<decltype(field)>>(in); });
  if (!in.Ok()) return false;
  record = parsed;
  return true;
}

template <class R>
void WriteFields(const R& record, TKelByteWriter& out) {
  R::Fields(record, [&out](const auto& field) {
    constexpr size_t size = sizeof field;
    if constexpr (size == 2)
      out.U16(field);
    else if constexpr (size == 4)
      out.U32(field);
    else
      out.U64(field);
  });
}

// The fields must fill the record exactly: checked when compiling.
template <class R>
constexpr size_t FieldBytes() {
  size_t total = 0;
  R r{};
  R::Fields(r, [&total](const auto& field) { total += sizeof field; });
  return total;
}

static_assert(FieldBytes<TKelZipLocalFileHeader>() == TKelZipLocalFileHeader::Size);
static_assert(FieldBytes<TKelZipDataDescriptor>() == TKelZipDataDescriptor::Size);
static_assert(FieldBytes<TKelZipCentralDir>() == TKelZipCentralDir::Size);
static_assert(FieldBytes<TKelZipCentralDirEnd>() == TKelZipCentralDirEnd::Size);
static_assert(FieldBytes<TKelZip64CentralDirEnd>() == TKelZip64CentralDirEnd::Size);
static_assert(FieldBytes<TKelZip64CentralDirEndLocator>() == TKelZip64CentralDirEndLocator::Size);

template <class R>
std::array<uint8_t, R::Size> BytesOf(const R& record) {
  TBytes buffer;
  buffer.reserve(R::Size);
  TKelByteWriter out(buffer);
  record.Write(out);
  std::array<uint8_t, R::Size> result{};
  std::copy_n(buffer.begin(), std::min(buffer.size(), result.size()), result.begin());
  return result;
}

}  // namespace

bool TKelZipLocalFileHeader::Read(std::span<const uint8_t> bytes) {
  return ReadFields(*this, bytes);
}

void TKelZipLocalFileHeader::Write(TKelByteWriter& out) const {
  WriteFields(*this, out);
}

std::array<uint8_t, TKelZipLocalFileHeader::Size> TKelZipLocalFileHeader::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZipDataDescriptor::Read(std::span<const uint8_t> bytes) {
  return ReadFields(*this, bytes);
}

void TKelZipDataDescriptor::Write(TKelByteWriter& out) const {
  WriteFields(*this, out);
}

std::array<uint8_t, TKelZipDataDescriptor::Size> TKelZipDataDescriptor::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZipCentralDir::Read(std::span<const uint8_t> bytes) {
  return ReadFields(*this, bytes);
}

void TKelZipCentralDir::Write(TKelByteWriter& out) const {
  WriteFields(*this, out);
}

std::array<uint8_t, TKelZipCentralDir::Size> TKelZipCentralDir::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZipCentralDirEnd::Read(std::span<const uint8_t> bytes) {
  return ReadFields(*this, bytes);
}

void TKelZipCentralDirEnd::Write(TKelByteWriter& out) const {
  WriteFields(*this, out);
}

std::array<uint8_t, TKelZipCentralDirEnd::Size> TKelZipCentralDirEnd::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZip64CentralDirEnd::Read(std::span<const uint8_t> bytes) {
  return ReadFields(*this, bytes);
}

void TKelZip64CentralDirEnd::Write(TKelByteWriter& out) const {
  WriteFields(*this, out);
}

std::array<uint8_t, TKelZip64CentralDirEnd::Size> TKelZip64CentralDirEnd::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZip64CentralDirEndLocator::Read(std::span<const uint8_t> bytes) {
  return ReadFields(*this, bytes);
}

void TKelZip64CentralDirEndLocator::Write(TKelByteWriter& out) const {
  WriteFields(*this, out);
}

std::array<uint8_t, TKelZip64CentralDirEndLocator::Size> TKelZip64CentralDirEndLocator::ToBytes()
    const {
  return BytesOf(*this);
}

}  // namespace kelvane
