#include "pack/zip_archive.h"


#include <zlib.h>

namespace kiln {
namespace {

constexpr uint32_t kLocalHeader = 0x04034B50, kCentralHeader = 0x02014B50,
                   kEndOfCentral = 0x06054B50;
constexpr uint16_t kUtf8Names = 1 << 11;
constexpr uint16_t kDeflated = 8, kVersion = 20;

void Append(std::string& bytes, uint32_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Raw deflate: the zip entry holds no zlib header.
bool Deflate(const std::string& in, std::string& out) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    return false;
  }
  out.resize(deflateBound(&stream, static_cast<uLong>(in.size())));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

// MS-DOS date and time, which zip stores, in UTC: a zip has no time zone.
void DosTime(int64_t seconds, uint16_t& time, uint16_t& date) {
  const int64_t days = seconds / 86400, rest = seconds % 86400;
  // Civil date from days since 1970 (Howard Hinnant's algorithm).
  const int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  if (year < 1980 || year > 2107) {
    time = 0;
    date = (1 << 5) | 1;  // 1980-01-01
    return;
  }
  time = static_cast<uint16_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) | ((rest % 60) / 2));
  date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

}  // namespace

std::string ZipArchive(const std::vector<ZipEntry>& entries) {
  if (entries.size() >= 0xFFFF) return {};
  std::string archive, central;
  for (const ZipEntry& entry : entries) {
    std::string packed;
    if (entry.bytes.size() >= 0xFFFFFFFFu || !Deflate(entry.bytes, packed)) return {};
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(entry.bytes.data()), static_cast<uInt>(entry.bytes.size())));
    uint16_t time = 0, date = 0;
    DosTime(entry.modified, time, date);
    const uint64_t offset = archive.size();
    std::string common;
    Append(common, kVersion, 2);
    Append(common, kUtf8Names, 2);
    Append(common, kDeflated, 2);
    Append(common, time, 2);
    Append(common, date, 2);
    Append(common, crc, 4);
    Append(common, static_cast<uint32_t>(packed.size()), 4);
    Append(common, static_cast<uint32_t>(entry.bytes.size()), 4);
    Append(common, static_cast<uint32_t>(entry.name.size()), 2);
    Append(common, 0, 2);  // no extra field
    Append(archive, kLocalHeader, 4);
    archive += common + entry.name + packed;
    Append(central, kCentralHeader, 4);
    Append(central, kVersion, 2);  // made by: MS-DOS attributes
    central += common;
    Append(central, 0, 2);  // no comment
    Append(central, 0, 2);  // disk
    Append(central, 0, 2);  // internal attributes
    Append(central, 0, 4);  // external attributes
    Append(central, static_cast<uint32_t>(offset), 4);
    central += entry.name;
    if (archive.size() >= 0xFFFFFFFFu) return {};
  }
  const uint64_t centralOffset = archive.size();
  archive += central;
  if (archive.size() >= 0xFFFFFFFFu) return {};
  Append(archive, kEndOfCentral, 4);
  Append(archive, 0, 4);  // disks
  Append(archive, static_cast<uint32_t>(entries.size()), 2);
  Append(archive, static_cast<uint32_t>(entries.size()), 2);
  Append(archive, static_cast<uint32_t>(central.size()), 4);
  Append(archive, static_cast<uint32_t>(centralOffset), 4);
  Append(archive, 0, 2);  // no comment
  return archive;
}

}  // namespace kiln
