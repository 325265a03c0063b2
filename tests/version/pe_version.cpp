#include "pe_version.h"

#include <cstdio>
#include <vector>

namespace {

const uint32_t RT_VERSION_ID = 16;
const uint32_t FIXED_SIGNATURE = 0xFEEF04BD;

class Reader {
  public:
    Reader(const unsigned char* bytes, size_t size) : b_(bytes), size_(size) {}
    bool has(size_t at, size_t n) const { return at <= size_ && n <= size_ - at; }
    uint16_t u16(size_t at) const { return static_cast<uint16_t>(b_[at] | b_[at + 1] << 8); }
    uint32_t u32(size_t at) const {
        return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
    }

  private:
    const unsigned char* b_;
    size_t size_;
};

struct Section {
    uint32_t rva, size, file_offset, file_size;
};

// The file offset of an address of the loaded image, or false.
bool file_offset(const std::vector<Section>& sections, uint32_t rva, size_t* out) {
    for (const auto& s : sections) {
        if (rva >= s.rva && rva - s.rva < s.size && rva - s.rva < s.file_size) {
            *out = static_cast<size_t>(s.file_offset) + (rva - s.rva);
            return true;
        }
    }
    return false;
}

// The entry of a resource directory (at `dir`) with this numeric id, or the
// first entry when `id` is 0; its offset field, or false.
bool directory_entry(const Reader& r, size_t base, size_t dir, uint32_t id, uint32_t* out) {
    if (!r.has(dir, 16)) return false;
    unsigned named = r.u16(dir + 12), ids = r.u16(dir + 14);
    for (unsigned i = 0; i < named + ids; ++i) {
        size_t entry = dir + 16 + 8 * static_cast<size_t>(i);
        if (!r.has(entry, 8)) return false;
        uint32_t name = r.u32(entry);
        if (id == 0 || (i >= named && name == id)) {
            *out = r.u32(entry + 4);
            return r.has(base + (*out & 0x7FFFFFFFu), 16);
        }
    }
    return false;
}

size_t align4(size_t start, size_t at) {
    return at + ((4 - (at - start) % 4) % 4);
}

// A NUL-terminated UTF-16 text at `at` before `end`, as ASCII ('?' for the
// rest); `*after` is the offset behind its NUL.
bool utf16_text(const Reader& r, size_t at, size_t end, std::string* out, size_t* after) {
    out->clear();
    for (; at + 2 <= end; at += 2) {
        uint16_t c = r.u16(at);
        if (c == 0) {
            *after = at + 2;
            return true;
        }
        out->push_back(c < 128 ? static_cast<char>(c) : '?');
    }
    return false;
}

struct Block {
    size_t start, end;   // the whole block
    size_t value;        // where its value starts
    size_t value_length; // wValueLength as stored
    uint16_t type;       // 1 text, 0 binary
    std::string key;
    size_t children; // where its children start
};

// One block of the version resource (wLength, wValueLength, wType, key,
// padding, value, padding, children), inside [.., limit).
bool read_block(const Reader& r, size_t origin, size_t at, size_t limit, Block* out) {
    if (!r.has(at, 6) || at + 6 > limit) return false;
    size_t length = r.u16(at);
    if (length < 6 || at + length > limit) return false;
    out->start = at;
    out->end = at + length;
    out->value_length = r.u16(at + 2);
    out->type = r.u16(at + 4);
    size_t after_key = 0;
    if (!utf16_text(r, at + 6, out->end, &out->key, &after_key)) return false;
    out->value = align4(origin, after_key);
    size_t value_bytes = out->type == 1 ? 2 * out->value_length : out->value_length;
    if (out->value > out->end || value_bytes > out->end - out->value) return false;
    out->children = align4(origin, out->value + value_bytes);
    if (out->children > out->end) out->children = out->end;
    return true;
}

bool fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

} // namespace

std::string fixed_version_text(uint32_t ms, uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

bool read_pe_version(const unsigned char* image, size_t size, PeVersion* out, std::string* error) {
    Reader r(image, size);
    *out = PeVersion{};
    if (!r.has(0, 64) || image[0] != 'M' || image[1] != 'Z') return fail(error, "no MZ header");
    size_t pe = r.u32(0x3C);
    if (!r.has(pe, 24) || r.u32(pe) != 0x00004550) return fail(error, "no PE header");
    unsigned sections_count = r.u16(pe + 6);
    size_t optional = pe + 24, optional_size = r.u16(pe + 20);
    if (!r.has(optional, optional_size) || optional_size < 2)
        return fail(error, "short optional header");
    uint16_t magic = r.u16(optional);
    size_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
    if (directories == 0) return fail(error, "unknown optional header magic");
    if (optional_size < directories + 3 * 8 || r.u32(optional + directories - 4) < 3)
        return fail(error, "no resource directory entry");
    uint32_t resource_rva = r.u32(optional + directories + 2 * 8);
    if (resource_rva == 0) return fail(error, "no resources");

    std::vector<Section> sections;
    size_t table = optional + optional_size;
    for (unsigned i = 0; i < sections_count; ++i) {
        size_t s = table + 40 * static_cast<size_t>(i);
        if (!r.has(s, 40)) return fail(error, "short section table");
        uint32_t virtual_size = r.u32(s + 8), raw_size = r.u32(s + 16);
        sections.push_back(
            {r.u32(s + 12), virtual_size != 0 ? virtual_size : raw_size, r.u32(s + 20), raw_size});
    }
    size_t base = 0;
    if (!file_offset(sections, resource_rva, &base))
        return fail(error, "resources outside sections");

    // Type RT_VERSION, then its first name and its first language.
    uint32_t entry = 0;
    if (!directory_entry(r, base, base, RT_VERSION_ID, &entry) || !(entry & 0x80000000u))
        return fail(error, "no version resource");
    if (!directory_entry(r, base, base + (entry & 0x7FFFFFFFu), 0, &entry) ||
        !(entry & 0x80000000u))
        return fail(error, "malformed version resource directory");
    if (!directory_entry(r, base, base + (entry & 0x7FFFFFFFu), 0, &entry) || (entry & 0x80000000u))
        return fail(error, "malformed version resource directory");
    size_t data_entry = base + entry;
    if (!r.has(data_entry, 16)) return fail(error, "short resource data entry");
    size_t data = 0;
    uint32_t data_size = r.u32(data_entry + 4);
    if (!file_offset(sections, r.u32(data_entry), &data) || !r.has(data, data_size))
        return fail(error, "version resource outside the file");

    Block root;
    if (!read_block(r, data, data, data + data_size, &root) || root.key != "VS_VERSION_INFO")
        return fail(error, "no VS_VERSION_INFO block");
    if (root.value_length < 52 || r.u32(root.value) != FIXED_SIGNATURE)
        return fail(error, "no fixed file information");
    out->file_ms = r.u32(root.value + 8);
    out->file_ls = r.u32(root.value + 12);
    out->product_ms = r.u32(root.value + 16);
    out->product_ls = r.u32(root.value + 20);
    out->file_type = r.u32(root.value + 36);

    // StringFileInfo -> its first string table -> the texts.
    for (size_t at = root.children; at < root.end;) {
        Block info;
        if (!read_block(r, data, at, root.end, &info))
            return fail(error, "malformed version block");
        if (info.key == "StringFileInfo") {
            Block strings;
            if (info.children < info.end &&
                read_block(r, data, info.children, info.end, &strings)) {
                for (size_t s = strings.children; s < strings.end;) {
                    Block text;
                    if (!read_block(r, data, s, strings.end, &text))
                        return fail(error, "malformed version text");
                    std::string value;
                    size_t after = 0;
                    if (text.type == 1 && !utf16_text(r, text.value, text.end, &value, &after))
                        return fail(error, "unterminated version text " + text.key);
                    out->texts[text.key] = value;
                    s = align4(data, text.end);
                }
            }
        }
        at = align4(data, info.end);
    }
    return true;
}

bool read_pe_version_file(const std::string& path, PeVersion* out, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return fail(error, "cannot open " + path);
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return read_pe_version(bytes.data(), bytes.size(), out, error);
}
