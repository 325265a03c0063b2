// The version resource of a Windows PE file (DLL, XLL or program), read from
// its bytes on any platform: the fixed file and product versions and the
// texts of its first string table.
#pragma once

#include <cstdint>
#include <map>
#include <cstddef>
#include <string>

struct PeVersion {
    uint32_t file_ms = 0, file_ls = 0;        // FILEVERSION a,b,c,d: (a << 16 | b), (c << 16 | d)
    uint32_t product_ms = 0, product_ls = 0;  // PRODUCTVERSION likewise
    uint32_t file_type = 0;                   // 1 program, 2 DLL
    std::map<std::string, std::string> texts; // "FileVersion" -> "2.10", ...
    bool operator==(const PeVersion&) const = default;
};

// "2.10.0.0" from the two halves of a fixed version.
std::string fixed_version_text(uint32_t ms, uint32_t ls);

// False, with the reason in *error, when the bytes are no PE file or hold no
// well-formed version resource.
bool read_pe_version(const unsigned char* image, size_t size, PeVersion* out, std::string* error);
bool read_pe_version_file(const std::string& path, PeVersion* out, std::string* error);
