#include "pack/resource_section.h"

#include <algorithm>
#include <map>

namespace kiln {
namespace {

constexpr uint32_t kSectionCharacteristics = 0x40000040;  // initialized data, readable
constexpr uint64_t kMaxImageSize = uint64_t{1} << 31;

void Put(std::string& bytes, uint64_t at, uint64_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Append(std::string& bytes, uint64_t value, unsigned count) {
  bytes.resize(bytes.size() + count);
  Put(bytes, bytes.size() - count, value, count);
}

uint64_t Get(std::string_view bytes, uint64_t at, unsigned count) {
  uint64_t value = 0;
  for (unsigned i = count; i > 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i - 1]);
  return value;
}

uint64_t Align(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Windows finds entries by binary search: named entries come first, in the
// order of their UTF-16 code units, then numbered ones in number order.
struct IdOrder {
  bool operator()(const ResourceId& a, const ResourceId& b) const {
    if (a.name.empty() != b.name.empty()) return !a.name.empty();
    if (!a.name.empty()) return a.name < b.name;
    return a.id < b.id;
  }
};

using Languages = std::map<uint16_t, const PeResource*>;
using Names = std::map<ResourceId, Languages, IdOrder>;
using Types = std::map<ResourceId, Names, IdOrder>;

class SectionWriter {
 public:
  SectionWriter(const std::vector<PeResource>& resources, uint32_t address) : address_(address) {
    for (const PeResource& resource : resources) {
      types_[resource.type][resource.name][resource.language] = &resource;
    }
  }

  std::string Write() {
    // Directories first, then the leaves' data entries, the names, and the
    // data, each where the sizes before it put it.
    uint64_t directories = 0, leaves = 0, nameBytes = 0;
    const auto countName = [&](const ResourceId& id) {
      if (!id.name.empty()) nameBytes += Align(2 + 2 * id.name.size(), 2);
    };
    directories += 16 + 8 * types_.size();
    for (const auto& [type, names] : types_) {
      countName(type);
      directories += 16 + 8 * names.size();
      for (const auto& [name, languages] : names) {
        countName(name);
        directories += 16 + 8 * languages.size();
        leaves += languages.size();
      }
    }
    nextDirectory_ = 0;
    nextLeaf_ = directories;
    nextName_ = directories + 16 * leaves;
    nextData_ = Align(nextName_ + nameBytes, 8);
    bytes_.assign(nextData_, '\0');
    WriteDirectory(types_);
    return bytes_;
  }

 private:
  uint64_t NameOffset(const ResourceId& id) {
    const uint64_t at = nextName_;
    Put(bytes_, at, id.name.size(), 2);
    for (size_t i = 0; i < id.name.size(); ++i) Put(bytes_, at + 2 + 2 * i, id.name[i], 2);
    nextName_ += Align(2 + 2 * id.name.size(), 2);
    return at | 0x80000000u;
  }

  template <typename Level>
  uint64_t WriteDirectory(const Level& level) {
    const uint64_t at = nextDirectory_;
    nextDirectory_ += 16 + 8 * level.size();
    uint16_t named = 0, numbered = 0;
    uint64_t entry = at + 16;
    for (const auto& [id, below] : level) {
      ++(id.name.empty() ? numbered : named);
      Put(bytes_, entry, id.name.empty() ? id.id : NameOffset(id), 4);
      Put(bytes_, entry + 4, WriteDirectory(below) | 0x80000000u, 4);
      entry += 8;
    }
    Put(bytes_, at + 12, named, 2);
    Put(bytes_, at + 14, numbered, 2);
    return at;
  }

  uint64_t WriteDirectory(const Languages& languages) {
    const uint64_t at = nextDirectory_;
    nextDirectory_ += 16 + 8 * languages.size();
    Put(bytes_, at + 14, languages.size(), 2);
    uint64_t entry = at + 16;
    for (const auto& [language, resource] : languages) {
      Put(bytes_, entry, language, 4);
      Put(bytes_, entry + 4, WriteLeaf(*resource), 4);
      entry += 8;
    }
    return at;
  }

  uint64_t WriteLeaf(const PeResource& resource) {
    const uint64_t at = nextLeaf_;
    nextLeaf_ += 16;
    const uint64_t data = Align(bytes_.size(), 8);
    bytes_.resize(data);
    bytes_ += resource.data;
    Put(bytes_, at, address_ + data, 4);
    Put(bytes_, at + 4, resource.data.size(), 4);
    Put(bytes_, at + 8, resource.codePage, 4);
    return at;
  }

  Types types_;
  uint32_t address_;
  std::string bytes_;
  uint64_t nextDirectory_ = 0, nextLeaf_ = 0, nextName_ = 0, nextData_ = 0;
};

// The leaves in the order the tree holds them, the last of equal keys kept.
std::vector<const PeResource*> TreeOrder(const std::vector<PeResource>& resources) {
  Types types;
  for (const PeResource& resource : resources) {
    types[resource.type][resource.name][resource.language] = &resource;
  }
  std::vector<const PeResource*> order;
  for (const auto& [type, names] : types) {
    for (const auto& [name, languages] : names) {
      for (const auto& [language, resource] : languages) order.push_back(resource);
    }
  }
  return order;
}

// What the PE reader finds in the new image is what was written: sections
// of a hostile image that overlap the new one would make it otherwise.
bool ReadsBack(const std::string& image, const std::vector<PeResource>& resources) {
  const std::optional<PeImage> read = ReadPeImage(image);
  if (!read || read->truncated || !read->resourcesWhole) return false;
  const std::vector<const PeResource*> written = TreeOrder(resources);
  if (read->resources.size() != written.size()) return false;
  for (size_t i = 0; i < written.size(); ++i) {
    const PeResource &a = read->resources[i], &b = *written[i];
    if (!(a.type == b.type) || !(a.name == b.name) || a.language != b.language ||
        a.codePage != b.codePage || a.data != b.data) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ResourceSectionBytes(const std::vector<PeResource>& resources, uint32_t address) {
  return SectionWriter(resources, address).Write();
}

uint32_t PeChecksum(std::string_view image, uint64_t checksumOffset) {
  uint64_t sum = 0;
  for (uint64_t at = 0; at < image.size(); at += 2) {
    if (at == checksumOffset || at == checksumOffset + 2) continue;
    uint64_t word = static_cast<uint8_t>(image[at]);
    if (at + 1 < image.size()) word |= uint64_t{static_cast<uint8_t>(image[at + 1])} << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + image.size());
}

std::optional<std::string> WithResources(std::string_view bytes,
                                         const std::vector<PeResource>& resources,
                                         std::string& why) {
  const std::optional<PeImage> image = ReadPeImage(bytes);
  if (!image || !image->layout) {
    why = "is not a Windows program";
    return std::nullopt;
  }
  if (image->truncated) {
    why = "is cut short: its headers or sections run past the end of the file";
    return std::nullopt;
  }
  const PeLayout& layout = *image->layout;
  if (layout.directoryCount <= kCertificateDirectory || !IsPowerOfTwo(layout.fileAlignment) ||
      !IsPowerOfTwo(layout.sectionAlignment) || layout.fileAlignment > 0x10000 ||
      layout.sectionAlignment < layout.fileAlignment || bytes.size() >= kMaxImageSize) {
    why = "has headers no Windows program has";
    return std::nullopt;
  }
  std::string out(bytes);
  const uint64_t directoryTable = layout.optionalHeader + (image->wide ? 112 : 96);
  const auto directoryAt = [&](size_t index) { return directoryTable + 8 * index; };

  // The signature covers the old bytes; it lies at the end of the file.
  const uint64_t certificate = layout.directoryAddress[kCertificateDirectory];
  if (certificate != 0) {
    const uint64_t end = certificate + layout.directorySize[kCertificateDirectory];
    if (end < out.size() - std::min<uint64_t>(out.size(), 8) || end > out.size() ||
        certificate < layout.headersSize) {
      why = "holds a signature that is not at the end of the file";
      return std::nullopt;
    }
    out.resize(certificate);
    Put(out, directoryAt(kCertificateDirectory), 0, 8);
  }

  // The resource section can be rewritten in place only when nothing follows it.
  const std::vector<PeSection>& sections = image->sections;
  uint64_t virtualEnd = layout.headersSize;
  uint64_t firstRaw = out.size();
  for (const PeSection& section : sections) {
    virtualEnd = std::max<uint64_t>(
        virtualEnd, section.address + std::max(section.virtualSize, section.rawSize));
    if (section.rawSize > 0) {
      firstRaw = std::min<uint64_t>(firstRaw, section.rawOffset);
    }
  }
  std::optional<size_t> reused;
  if (!sections.empty()) {
    const PeSection& last = sections.back();
    const uint64_t resourceAddress = layout.directoryAddress[kResourceDataDirectory];
    if (resourceAddress != 0 && last.address == resourceAddress &&
        last.address + std::max(last.virtualSize, last.rawSize) == virtualEnd &&
        last.rawSize > 0 && uint64_t{last.rawOffset} + last.rawSize >= out.size()) {
      reused = sections.size() - 1;
    }
  }

  uint64_t address, rawOffset, oldRawSize = 0;
  const uint64_t header = layout.sectionTable + 40 * (reused ? *reused : sections.size());
  if (reused) {
    address = sections[*reused].address;
    rawOffset = sections[*reused].rawOffset;
    oldRawSize = sections[*reused].rawSize;
  } else {
    const bool room = header + 40 <= layout.headersSize && header + 40 <= firstRaw &&
                      std::string_view(out).substr(header, 40).find_first_not_of('\0') ==
                          std::string_view::npos;
    if (!room || sections.size() >= 95) {
      why = "leaves no room for another section header";
      return std::nullopt;
    }
    address = Align(virtualEnd, layout.sectionAlignment);
    rawOffset = Align(out.size(), layout.fileAlignment);
  }
  const std::string section = ResourceSectionBytes(resources, static_cast<uint32_t>(address));
  const uint64_t rawSize = Align(section.size(), layout.fileAlignment);
  const uint64_t imageSize = Align(address + section.size(), layout.sectionAlignment);
  if (rawOffset + rawSize >= kMaxImageSize || imageSize >= kMaxImageSize) {
    why = "would grow past the size Windows loads";
    return std::nullopt;
  }
  out.resize(rawOffset, '\0');
  out += section;
  out.resize(rawOffset + rawSize, '\0');

  std::string entry(".rsrc\0\0\0", 8);
  Append(entry, section.size(), 4);
  Append(entry, address, 4);
  Append(entry, rawSize, 4);
  Append(entry, rawOffset, 4);
  entry.append(12, '\0');  // relocations and line numbers: none
  Append(entry, kSectionCharacteristics, 4);
  out.replace(header, 40, entry);
  if (!reused) Put(out, layout.fileHeader + 2, sections.size() + 1, 2);

  const uint64_t initializedData = layout.optionalHeader + 8;
  Put(out, initializedData, Get(out, initializedData, 4) - oldRawSize + rawSize, 4);
  Put(out, layout.optionalHeader + 56, imageSize, 4);
  Put(out, directoryAt(kResourceDataDirectory), address, 4);
  Put(out, directoryAt(kResourceDataDirectory) + 4, section.size(), 4);
  const uint64_t checksum = layout.optionalHeader + 64;
  Put(out, checksum, PeChecksum(out, checksum), 4);
  if (!ReadsBack(out, resources)) {
    why = "has sections that overlap, which kiln-pack cannot rewrite";
    return std::nullopt;
  }
  return out;
}

}  // namespace kiln
