#include "Manifest.h"

#include "splitText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>

namespace {

const char headerLine[] = "wbk manifest 1";
constexpr std::size_t entryFieldCount = 4;
constexpr std::size_t settingFieldCount = 2;
constexpr unsigned char pcm8Type = 0;
constexpr unsigned char adpcmType = 1;
const char pcm8Name[] = "8bit";
const char adpcmName[] = "adpcm";

// `bytes` with every byte that is not printable ASCII, and those of
// `alsoEscaped`, written as \xHH; a backslash doubled when `doubleBackslash`.
std::string escape(const std::string& bytes, const char* alsoEscaped, bool doubleBackslash = true)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' && doubleBackslash) {
            text += "\\\\";
        } else if (byte >= 0x20 && byte <= 0x7E && !std::strchr(alsoEscaped, c)) {
            text += c;
        } else {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            text += code;
        }
    }
    return text;
}

// Text from a manifest line in quotes, for a message: bytes that are not
// printable ASCII as \xHH, so that a bad line cannot drive the terminal.
std::string quoted(const std::string& text)
{
    return "\"" + escape(text, "", false) + "\"";
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte of the escape starting at the backslash at `text[at]`; `at` moves
// to the escape's last character.
char escapedByte(const std::string& text, std::size_t& at)
{
    const std::string rest = text.substr(at, 4);
    if (rest.size() == 1)
        throw std::invalid_argument("the text ends in a lone backslash: write a backslash as \\\\");
    if (rest[1] == '\\') {
        at += 1;
        return '\\';
    }
    if (rest[1] != 'x')
        throw std::invalid_argument(quoted(rest.substr(0, 2)) +
                                    " is no escape: write a backslash as \\\\ and other bytes as \\xHH");
    if (rest.size() < 4 || hexDigit(rest[2]) < 0 || hexDigit(rest[3]) < 0)
        throw std::invalid_argument(quoted(rest) + " is no escape: \\x needs two hex digits");
    at += 3;
    return static_cast<char>(hexDigit(rest[2]) * 16 + hexDigit(rest[3]));
}

// A field's bytes; a bad escape is a bad line.
std::string unescapeField(const std::string& text, const char* field, int line)
{
    try {
        return unescapeManifestText(text);
    } catch (const std::invalid_argument& error) {
        throw ManifestError(line, std::string("in the ") + field + ", " + error.what());
    }
}

unsigned char readType(const std::string& text, int line)
{
    if (text == pcm8Name)
        return pcm8Type;
    if (text == adpcmName)
        return adpcmType;
    if (!isDecimal(text))
        throw ManifestError(line, "unknown type " + quoted(text) + ": write 8bit, adpcm or a type byte from 0 to 255");
    const auto value = decimalValue(text, std::numeric_limits<unsigned char>::max());
    if (!value)
        throw ManifestError(line, "the type " + text + " is not from 0 to 255");
    return static_cast<unsigned char>(*value);
}

std::uint16_t readRate(const std::string& text, int line)
{
    if (!isDecimal(text))
        throw ManifestError(line, "the rate " + quoted(text) + " is not a number from 0 to 65535");
    const auto value = decimalValue(text, std::numeric_limits<std::uint16_t>::max());
    if (!value)
        throw ManifestError(line, "the rate " + text + " is not from 0 to 65535");
    return static_cast<std::uint16_t>(*value);
}

std::string readName(const std::string& text, int line)
{
    const std::string name = unescapeField(text, "name", line);
    if (name.size() > Bank::nameSize)
        throw ManifestError(line, "the name is " + std::to_string(name.size()) + " bytes long, more than " +
                                      std::to_string(Bank::nameSize));
    return name;
}

// SOURCE: a file, or "PATH#N". The '#' is found before unescaping, as one
// inside a path is written \x23.
void readSource(const std::string& text, int line, ManifestEntry& entry)
{
    if (text.empty())
        throw ManifestError(line, "the source is empty: write a file, or PATH#N for entry N of a bank");
    const std::size_t hash = text.find('#');
    entry.sourcePath = unescapeField(text.substr(0, hash), "source", line);
    if (hash == std::string::npos)
        return;
    if (hash == 0)
        throw ManifestError(line, "the source " + quoted(text) + " names no bank before the '#'");
    const std::string number = text.substr(hash + 1);
    const auto value = decimalValue(number, std::numeric_limits<std::uint32_t>::max());
    if (!value)
        throw ManifestError(line, "the entry number " + quoted(number) +
                                      " after the '#' is not a number from 0 to 4294967295"
                                      " (a '#' inside a path is written \\x23)");
    entry.sourceEntry = static_cast<std::uint32_t>(*value);
}

ManifestEntry readEntry(const std::vector<std::string>& fields, int line)
{
    if (fields.size() != entryFieldCount)
        throw ManifestError(line, "an entry line has 4 fields separated by TABs (TYPE, RATE, NAME, SOURCE); this one has " +
                                      std::to_string(fields.size()));
    ManifestEntry entry;
    entry.type = readType(fields[0], line);
    entry.rate = readRate(fields[1], line);
    entry.name = readName(fields[2], line);
    readSource(fields[3], line, entry);
    entry.line = line;
    return entry;
}

// Reads the lines after the header, remembering where magic and author were.
class LineReader {
public:
    void read(const std::string& line, int number)
    {
        const std::vector<std::string> fields = splitText(line, '\t');
        if (fields[0] == "magic")
            readMagic(setting(fields, number, magicLine), number);
        else if (fields[0] == "author")
            readAuthor(setting(fields, number, authorLine), number);
        else
            manifest.entries.push_back(readEntry(fields, number));
    }

    Manifest manifest;

private:
    // The bytes of a magic or author line, seen first at `seenLine`.
    std::string setting(const std::vector<std::string>& fields, int line, int& seenLine)
    {
        const std::string& key = fields[0];
        if (fields.size() != settingFieldCount)
            throw ManifestError(line, "the " + key + " line has 2 fields separated by a TAB (" + key +
                                          ", then the bytes); this one has " + std::to_string(fields.size()));
        if (seenLine)
            throw ManifestError(line, "a second " + key + " line: the first is line " + std::to_string(seenLine));
        if (!manifest.entries.empty())
            throw ManifestError(line, "the " + key + " line must come before the entry lines");
        seenLine = line;
        return unescapeField(fields[1], key.c_str(), line);
    }

    void readMagic(const std::string& bytes, int line)
    {
        if (bytes.size() != Bank::magicSize)
            throw ManifestError(line, "the magic is " + std::to_string(bytes.size()) + " bytes long, not " +
                                          std::to_string(Bank::magicSize));
        manifest.magic.emplace();
        std::copy(bytes.begin(), bytes.end(), manifest.magic->begin());
    }

    void readAuthor(const std::string& bytes, int line)
    {
        if (bytes.size() > Bank::authorSize)
            throw ManifestError(line, "the author is " + std::to_string(bytes.size()) + " bytes long, more than " +
                                          std::to_string(Bank::authorSize));
        manifest.author.emplace();
        manifest.author->fill(0);
        std::copy(bytes.begin(), bytes.end(), manifest.author->begin());
    }

    int magicLine = 0;
    int authorLine = 0;
};

void checkHeader(const std::string& line, int number)
{
    if (line != headerLine)
        throw ManifestError(number, "a manifest starts with \"" + std::string(headerLine) + "\", not " + quoted(line));
}

} // namespace

ManifestError::ManifestError(int line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), lineNumber(line), why(reason)
{
}

bool ManifestEntry::operator==(const ManifestEntry& other) const
{
    return type == other.type && rate == other.rate && name == other.name && sourcePath == other.sourcePath &&
           sourceEntry == other.sourceEntry;
}

bool Manifest::operator==(const Manifest& other) const
{
    return magic == other.magic && author == other.author && entries == other.entries;
}

Manifest readManifest(std::istream& in)
{
    LineReader reader;
    bool headerSeen = false;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (headerSeen)
            reader.read(line, number);
        else
            checkHeader(line, number);
        headerSeen = true;
    }
    if (in.bad())
        throw ManifestError(number + 1, "the manifest can not be read");
    if (!headerSeen)
        throw ManifestError(number + 1, "the manifest ends before its first line \"" + std::string(headerLine) + "\"");
    return reader.manifest;
}

void writeManifest(std::ostream& out, const Manifest& manifest)
{
    out << headerLine << '\n';
    if (manifest.magic)
        out << "magic\t" << escapeManifestText(std::string(manifest.magic->begin(), manifest.magic->end())) << '\n';
    if (manifest.author) {
        std::string author(manifest.author->begin(), manifest.author->end());
        author.erase(author.find_last_not_of('\0') + 1);
        out << "author\t" << escapeManifestText(author) << '\n';
    }
    for (const ManifestEntry& entry : manifest.entries) {
        out << manifestTypeName(entry.type) << '\t' << entry.rate << '\t' << escapeManifestText(entry.name) << '\t'
            << escape(entry.sourcePath, "#");
        if (entry.sourceEntry)
            out << '#' << *entry.sourceEntry;
        out << '\n';
    }
}

std::string escapeManifestText(const std::string& bytes)
{
    return escape(bytes, "");
}

std::string unescapeManifestText(const std::string& text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at)
        bytes += text[at] == '\\' ? escapedByte(text, at) : text[at];
    return bytes;
}

std::string manifestTypeName(unsigned char type)
{
    if (type == pcm8Type)
        return pcm8Name;
    if (type == adpcmType)
        return adpcmName;
    return std::to_string(type);
}

bool isDecimal(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::optional<std::uint64_t> decimalValue(const std::string& text, std::uint64_t maximum)
{
    if (!isDecimal(text))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const unsigned digit = c - '0';
        if (digit > maximum || value > (maximum - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}
