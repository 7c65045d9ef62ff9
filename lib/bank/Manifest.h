#ifndef WBK_MANIFEST_H
#define WBK_MANIFEST_H

#include "Bank.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A bank described as text, one entry per line, from which `wbkpack --build`
// makes the bank again byte for byte:
//
//   wbk manifest 1
//   magic	WBK\x00\x00\x00\x00\x00
//   author	wbkpack:someone
//   8bit	16540	a440.pc8	a440.pc8
//   adpcm	11025	voice	old.wbk#3
//   255	0	\x83\x41	raw.bin
//
// Lines end in LF (CRLF accepted); blank lines and lines starting with '#'
// are ignored; fields are separated by one TAB. In magic, author, NAME and
// SOURCE, bytes 0x20 to 0x7E other than the backslash stand for themselves, a
// backslash is "\\" and every other byte is "\xHH". SOURCE is an entry of a
// bank, "PATH#N" (a '#' inside a plain path is written "\x23"), or a file.
// magic and author come before the entries, each at most once; left out,
// they are std::nullopt and the caller gives the bank those of a new bank.

// A line that is not understood: what() names the line number.
class ManifestError : public std::runtime_error {
public:
    ManifestError(int line, const std::string& reason);
    int line() const { return lineNumber; }
    // What is wrong, without the line.
    const std::string& reason() const { return why; }

private:
    int lineNumber;
    std::string why;
};

struct ManifestEntry {
    unsigned char type = 0;
    std::uint16_t rate = 0;
    std::string name;                         // raw bytes, at most 16
    std::string sourcePath;                   // raw bytes, as written (relative paths not yet resolved)
    std::optional<std::uint32_t> sourceEntry; // N of "PATH#N"; none for a file
    int line = 0;                             // where it was read; 0 for entries not read from text

    // The same entry: everything but where it was read.
    bool operator==(const ManifestEntry& other) const;
    bool operator!=(const ManifestEntry& other) const { return !(*this == other); }
};

struct Manifest {
    std::optional<Bank::Magic> magic;
    std::optional<Bank::Author> author;
    std::vector<ManifestEntry> entries;

    bool operator==(const Manifest& other) const;
    bool operator!=(const Manifest& other) const { return !(*this == other); }
};

// Reads a manifest; ManifestError for the first bad line.
Manifest readManifest(std::istream& in);
// Writes the header line, the magic and author lines when set (trailing zero
// bytes of the author left out) and the entries; readManifest reads it back
// to the same.
void writeManifest(std::ostream& out, const Manifest& manifest);

// The escaping of manifest fields, and back (std::invalid_argument for a bad escape).
std::string escapeManifestText(const std::string& bytes);
std::string unescapeManifestText(const std::string& text);

// The type field: "8bit" for 0, "adpcm" for 1, else the byte in decimal.
std::string manifestTypeName(unsigned char type);

// True when `text` is decimal digits only, at least one.
bool isDecimal(const std::string& text);
// The value of `text` when it is decimal digits only (at least one) and at
// most `maximum`: how the manifest and ENTRY arguments write numbers.
std::optional<std::uint64_t> decimalValue(const std::string& text, std::uint64_t maximum);

#endif
