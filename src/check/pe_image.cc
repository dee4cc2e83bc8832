#include "check/pe_image.h"

#include <algorithm>

#include "common/utf8.h"

namespace kiln {
namespace {

// Bounds that no real image comes near; they only stop hostile ones from
// costing more than their size.
constexpr size_t kMaxSections = 96;  // as the Windows loader allows
constexpr size_t kMaxNameLength = 512;
constexpr size_t kMaxExports = 65536;  // ordinals are 16 bits
constexpr size_t kMaxImportedDlls = 1024;
constexpr size_t kMaxImports = 16384;
constexpr size_t kMaxResources = 4096;
constexpr size_t kMaxResourceEntries = 65536;  // visited, over the three levels

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kExportDirectory = 0, kImportDirectory = 1,
                 kResourceDirectory = kResourceDataDirectory;
constexpr uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr uint32_t kVersionResourceName = 1;   // VS_VERSION_INFO

using Section = PeSection;

struct DataDirectory {
  uint32_t address = 0;
  uint32_t size = 0;
};

// Little-endian reads that give 0 past the end of the bytes.
class Bytes {
 public:
  explicit Bytes(std::string_view bytes) : bytes_(bytes) {}

  size_t size() const { return bytes_.size(); }
  bool Holds(uint64_t offset, uint64_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  uint64_t Read(uint64_t offset, unsigned count) const {
    if (!Holds(offset, count)) return 0;
    uint64_t value = 0;
    for (unsigned i = count; i > 0; --i) {
      value = (value << 8) | static_cast<uint8_t>(bytes_[offset + i - 1]);
    }
    return value;
  }
  uint16_t U16(uint64_t offset) const { return static_cast<uint16_t>(Read(offset, 2)); }
  uint32_t U32(uint64_t offset) const { return static_cast<uint32_t>(Read(offset, 4)); }
  // A NUL-terminated text of at most kMaxNameLength bytes.
  std::string Text(uint64_t offset) const {
    if (offset >= bytes_.size()) return {};
    const std::string_view rest = bytes_.substr(offset, kMaxNameLength);
    return std::string(rest.substr(0, rest.find('\0')));
  }
  std::string_view View(uint64_t offset, uint64_t count) const {
    return Holds(offset, count) ? bytes_.substr(offset, count) : std::string_view();
  }

 private:
  std::string_view bytes_;
};

class ImageReader {
 public:
  explicit ImageReader(std::string_view bytes) : file_(bytes) {}

  std::optional<PeImage> Read() {
    if (file_.size() < 64 || file_.U16(0) != 0x5A4D) return std::nullopt;  // "MZ"
    const uint64_t header = file_.U32(0x3C);
    if (file_.U32(header) != 0x00004550 || !file_.Holds(header, 24)) return std::nullopt;
    PeImage image;
    image.machine = file_.U16(header + 4);
    image.characteristics = file_.U16(header + 22);
    const size_t sectionCount = file_.U16(header + 6);
    const uint64_t optional = header + 24;
    const uint64_t optionalSize = file_.U16(header + 20);
    const uint16_t magic = file_.U16(optional);
    image.wide = magic == kPe32PlusMagic;
    image.truncated = !file_.Holds(optional, optionalSize);
    if (magic == kPe32Magic || magic == kPe32PlusMagic) {
      headersSize_ = file_.U32(optional + 60);
      image.truncated |= headersSize_ > file_.size();
      ReadDirectories(optional, optionalSize, image.wide);
      PeLayout& layout = image.layout.emplace();
      layout.fileHeader = header + 4;
      layout.optionalHeader = optional;
      layout.optionalHeaderSize = static_cast<uint16_t>(optionalSize);
      layout.sectionTable = optional + optionalSize;
      layout.sectionAlignment = file_.U32(optional + 32);
      layout.fileAlignment = file_.U32(optional + 36);
      layout.headersSize = static_cast<uint32_t>(headersSize_);
      layout.directoryCount = file_.U32(optional + (image.wide ? 108 : 92));
      for (size_t i = 0; i < 16; ++i) {
        layout.directoryAddress[i] = directories_[i].address;
        layout.directorySize[i] = directories_[i].size;
      }
    }
    image.truncated |= !ReadSections(optional + optionalSize, sectionCount);
    image.sections = sections_;
    ReadExports(image.exports);
    ReadImports(image.wide, image.imports);
    image.productVersion = ReadProductVersion();
    image.resourcesWhole = ReadResources(image.resources);
    return image;
  }

 private:
  void ReadDirectories(uint64_t optional, uint64_t optionalSize, bool wide) {
    const uint64_t countAt = optional + (wide ? 108 : 92);
    const uint64_t first = countAt + 4;
    const uint64_t count = std::min<uint64_t>(file_.U32(countAt), 16);
    for (uint64_t i = 0; i < count && first + 8 * (i + 1) <= optional + optionalSize; ++i) {
      directories_[i] = {file_.U32(first + 8 * i), file_.U32(first + 8 * i + 4)};
    }
  }

  // False when the section table or a section's data lies past the end.
  bool ReadSections(uint64_t table, size_t count) {
    bool whole = true;
    for (size_t i = 0; i < count; ++i) {
      const uint64_t entry = table + 40 * i;
      if (!file_.Holds(entry, 40)) return false;
      if (i >= kMaxSections) continue;
      const std::string_view name = file_.View(entry, 8);
      const Section section = {std::string(name.substr(0, name.find('\0'))),
                               file_.U32(entry + 12), file_.U32(entry + 8),
                               file_.U32(entry + 16), file_.U32(entry + 20),
                               file_.U32(entry + 36)};
      if (section.rawSize > 0 && !file_.Holds(section.rawOffset, section.rawSize)) whole = false;
      sections_.push_back(section);
    }
    return whole;
  }

  // Where the byte at an address of the loaded image lies in the file, when
  // the file holds it.
  std::optional<uint64_t> OffsetOf(uint64_t address) const {
    if (address < headersSize_) return address;
    for (const Section& section : sections_) {
      const uint64_t extent = std::max(section.virtualSize, section.rawSize);
      if (address >= section.address && address - section.address < extent) {
        const uint64_t within = address - section.address;
        if (within >= section.rawSize) return std::nullopt;  // zero-filled, not in the file
        return section.rawOffset + within;
      }
    }
    return std::nullopt;
  }

  std::string TextAt(uint64_t address) const {
    const auto offset = OffsetOf(address);
    return offset ? file_.Text(*offset) : std::string();
  }

  void ReadExports(std::vector<std::string>& exports) const {
    const auto directory = Located(kExportDirectory);
    if (!directory) return;
    const uint64_t count = std::min<uint64_t>(file_.U32(*directory + 24), kMaxExports);
    const auto names = OffsetOf(file_.U32(*directory + 32));
    if (!names) return;
    for (uint64_t i = 0; i < count && file_.Holds(*names + 4 * i, 4); ++i) {
      exports.push_back(TextAt(file_.U32(*names + 4 * i)));
    }
  }

  void ReadImports(bool wide, std::vector<std::string>& imports) const {
    const auto directory = Located(kImportDirectory);
    if (!directory) return;
    const unsigned thunkSize = wide ? 8 : 4;
    const uint64_t byOrdinal = uint64_t{1} << (thunkSize * 8 - 1);
    for (size_t d = 0; d < kMaxImportedDlls; ++d) {
      const uint64_t entry = *directory + 20 * d;
      if (!file_.Holds(entry, 20) || file_.View(entry, 20).find_first_not_of('\0') ==
                                         std::string_view::npos) {
        return;
      }
      const std::string dll = TextAt(file_.U32(entry + 12));
      // The lookup table names the imports; old linkers left it out and
      // only the address table, unbound in the file, holds them.
      const uint32_t lookup = file_.U32(entry) ? file_.U32(entry) : file_.U32(entry + 16);
      const auto thunks = OffsetOf(lookup);
      if (!thunks) continue;
      for (uint64_t t = *thunks; file_.Holds(t, thunkSize); t += thunkSize) {
        const uint64_t thunk = file_.Read(t, thunkSize);
        if (thunk == 0 || imports.size() >= kMaxImports) break;
        if (thunk & byOrdinal) continue;
        imports.push_back(dll + "!" + TextAt((thunk & 0x7FFFFFFF) + 2));
      }
    }
  }

  std::optional<uint64_t> Located(size_t directory) const {
    if (directories_[directory].address == 0) return std::nullopt;
    return OffsetOf(directories_[directory].address);
  }

  // The resource tree has three levels: type, name, language. The version
  // resource is VS_VERSION_INFO under RT_VERSION, in its first language.
  std::string ReadProductVersion() const {
    const auto root = Located(kResourceDirectory);
    if (!root) return {};
    const auto names = Subdirectory(*root, *root, kVersionResourceType);
    if (!names) return {};
    const auto languages = Subdirectory(*root, *names, kVersionResourceName);
    if (!languages) return {};
    const uint64_t firstEntry = *languages + 16;
    if (file_.U16(*languages + 12) + file_.U16(*languages + 14) == 0) return {};
    const uint32_t target = file_.U32(firstEntry + 4);
    if (target & 0x80000000u) return {};  // a fourth level: not a resource tree Windows reads
    const uint64_t data = *root + target;
    const auto offset = OffsetOf(file_.U32(data));
    if (!offset) return {};
    const std::string_view block = file_.View(*offset, file_.U32(data + 4));
    return ProductVersionIn(block);
  }

  // Every leaf of the tree; false when part of it cannot be read. The bytes
  // copied never add up to more than the file holds, as no two resources of
  // a real image share them.
  bool ReadResources(std::vector<PeResource>& resources) const {
    if (directories_[kResourceDirectory].address == 0) return true;
    const auto root = Located(kResourceDirectory);
    if (!root) return false;
    size_t visited = 0;
    uint64_t copied = 0;
    bool whole = true;
    PeResource leaf;
    const auto walk = [&](const auto& self, uint64_t directory, int level) -> void {
      const uint64_t count = uint64_t{file_.U16(directory + 12)} + file_.U16(directory + 14);
      for (uint64_t i = 0; i < count; ++i) {
        const uint64_t entry = directory + 16 + 8 * i;
        if (!file_.Holds(entry, 8) || ++visited > kMaxResourceEntries) {
          whole = false;
          return;
        }
        const uint32_t id = file_.U32(entry);
        ResourceId name;
        if (id & 0x80000000u) {
          const uint64_t text = *root + (id & 0x7FFFFFFFu);
          const uint64_t length = file_.U16(text);
          if (!file_.Holds(text + 2, 2 * length)) {
            whole = false;
            continue;
          }
          for (uint64_t c = 0; c < length; ++c) name.name += file_.U16(text + 2 + 2 * c);
        } else {
          name.id = static_cast<uint16_t>(id);
        }
        const uint32_t target = file_.U32(entry + 4);
        const bool isDirectory = (target & 0x80000000u) != 0;
        if (isDirectory != (level < 2)) {
          whole = false;
          continue;
        }
        if (level == 0) leaf.type = name;
        if (level == 1) leaf.name = name;
        if (isDirectory) {
          self(self, *root + (target & 0x7FFFFFFFu), level + 1);
          if (!whole) return;
          continue;
        }
        leaf.language = name.id;
        const uint64_t data = *root + target;
        const auto offset = OffsetOf(file_.U32(data));
        const uint32_t size = file_.U32(data + 4);
        if (!file_.Holds(data, 16) || !offset || !file_.Holds(*offset, size) ||
            resources.size() >= kMaxResources || (copied += size) > file_.size()) {
          whole = false;
          return;
        }
        leaf.codePage = file_.U32(data + 8);
        leaf.data = std::string(file_.View(*offset, size));
        resources.push_back(leaf);
      }
    };
    walk(walk, *root, 0);
    return whole;
  }

  // The subdirectory the entry with the given id leads to.
  std::optional<uint64_t> Subdirectory(uint64_t root, uint64_t directory, uint32_t id) const {
    const uint64_t count =
        uint64_t{file_.U16(directory + 12)} + file_.U16(directory + 14);
    for (uint64_t i = 0; i < count && file_.Holds(directory + 16 + 8 * i, 8); ++i) {
      const uint64_t entry = directory + 16 + 8 * i;
      if (file_.U32(entry) != id) continue;
      const uint32_t target = file_.U32(entry + 4);
      if (!(target & 0x80000000u)) return std::nullopt;
      return root + (target & 0x7FFFFFFFu);
    }
    return std::nullopt;
  }

  // A VS_VERSIONINFO block: VS_VERSION_INFO > StringFileInfo > 040904B0 >
  // ProductVersion, keys in any letter case as VerQueryValue compares them.
  static std::string ProductVersionIn(std::string_view resource) {
    const Bytes bytes(resource);
    const std::optional<Block> root = Block::At(bytes, 0, resource.size());
    if (!root) return {};
    const std::optional<Block> strings = root->Child(bytes, "StringFileInfo");
    if (!strings) return {};
    const std::optional<Block> table = strings->Child(bytes, "040904B0");
    if (!table) return {};
    const std::optional<Block> version = table->Child(bytes, "ProductVersion");
    if (!version) return {};
    // As many characters as the value claims, up to its first NUL.
    std::u16string text;
    for (uint64_t i = 0; i < version->valueLength; ++i) {
      const uint64_t at = version->value + 2 * i;
      if (at + 2 > version->end) break;
      const char16_t c = bytes.U16(at);
      if (c == 0) break;
      text += c;
    }
    return Utf16ToUtf8(text);
  }

  // One node of a version resource: a length, a value length, a type, a
  // UTF-16 key, then the value and the children, each on a 32-bit boundary.
  struct Block {
    std::u16string key;
    uint64_t value = 0;
    uint64_t valueLength = 0;  // in characters for text values
    uint64_t children = 0;
    uint64_t end = 0;

    static std::optional<Block> At(const Bytes& bytes, uint64_t start, uint64_t limit) {
      const uint64_t length = bytes.U16(start);
      if (length < 6 || start + length > limit) return std::nullopt;
      Block block;
      block.end = start + length;
      uint64_t at = start + 6;
      for (; at + 2 <= block.end && bytes.U16(at) != 0; at += 2) block.key += bytes.U16(at);
      block.value = Align(at + 2);
      block.valueLength = bytes.U16(start + 2);
      const bool text = bytes.U16(start + 4) == 1;
      block.children = Align(block.value + block.valueLength * (text ? 2 : 1));
      return block;
    }

    std::optional<Block> Child(const Bytes& bytes, std::string_view wanted) const {
      for (uint64_t at = children; at + 6 <= end;) {
        const std::optional<Block> child = At(bytes, at, end);
        if (!child) return std::nullopt;
        if (SameKey(child->key, wanted)) return child;
        at = Align(child->end);
      }
      return std::nullopt;
    }

    static uint64_t Align(uint64_t offset) { return (offset + 3) & ~uint64_t{3}; }

    static bool SameKey(std::u16string_view key, std::string_view wanted) {
      if (key.size() != wanted.size()) return false;
      for (size_t i = 0; i < key.size(); ++i) {
        const auto lower = [](char16_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(key[i]) != lower(static_cast<char16_t>(wanted[i]))) return false;
      }
      return true;
    }
  };

  Bytes file_;
  uint64_t headersSize_ = 0;
  DataDirectory directories_[16] = {};
  std::vector<Section> sections_;
};

}  // namespace

std::optional<PeImage> ReadPeImage(std::string_view bytes) { return ImageReader(bytes).Read(); }

}  // namespace kiln
