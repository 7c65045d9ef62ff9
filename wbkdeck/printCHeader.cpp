#include "printCHeader.h"

#include "filePath.h"

#include <cctype>
#include <iostream>
#include <set>
#include <vector>

namespace {

// Upper-case letters and digits; every other byte becomes '_'.
std::string identifierPart(const std::string& text)
{
    std::string part;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        part += byte < 0x80 && std::isalnum(byte) ? static_cast<char>(std::toupper(byte)) : '_';
    }
    return part;
}

// No run of '_': a "__" anywhere is reserved to the implementation in C++.
std::string withSingleUnderscores(const std::string& identifier)
{
    std::string single;
    for (const char c : identifier)
        if (c != '_' || single.empty() || single.back() != '_')
            single += c;
    return single;
}

bool isAscii(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// An identifier must start with a letter (a leading '_' and an upper-case
// letter is reserved to the implementation).
std::string startingWithALetter(const std::string& identifier)
{
    if (!identifier.empty() && std::isalpha(static_cast<unsigned char>(identifier[0])))
        return identifier;
    return "BANK_" + identifier;
}

// The file name without its extension: "VOICES_" for ".../voices.wbk".
std::string prefixOf(const std::string& fileName)
{
    const std::size_t dot = fileName.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
    return startingWithALetter(identifierPart(stem)) + "_";
}

std::vector<std::string> entryIdentifiers(const Bank& bank, const std::string& prefix, std::set<std::string>& taken)
{
    std::vector<std::string> identifiers;
    for (std::size_t index = 0; index < bank.entries().size(); ++index) {
        const std::string name = bank.entries()[index].nameText();
        const std::string suffix = "_" + std::to_string(index);
        std::string identifier = withSingleUnderscores(
            prefix + (name.empty() || !isAscii(name) ? "ENTRY" + suffix : identifierPart(name)));
        while (!taken.insert(identifier).second)
            identifier = withSingleUnderscores(identifier + suffix);
        identifiers.push_back(identifier);
    }
    return identifiers;
}

} // namespace

void printCHeader(const Bank& bank, const std::string& bankPath)
{
    const std::string fileName = fileNameOf(bankPath);
    const std::string prefix = withSingleUnderscores(prefixOf(fileName));
    const std::string guard = withSingleUnderscores(startingWithALetter(identifierPart(fileName)) + "_H");
    const std::string count = prefix + "COUNT";
    std::set<std::string> taken = {guard, count};
    const std::vector<std::string> identifiers = entryIdentifiers(bank, prefix, taken);

    std::cout << "/* The entries of a sound bank, by index; written by wbkdeck --header. */\n"
              << "#ifndef " << guard << "\n#define " << guard << "\n\nenum {\n";
    for (std::size_t index = 0; index < identifiers.size(); ++index)
        std::cout << "    " << identifiers[index] << " = " << index << ",\n";
    std::cout << "    " << count << " = " << identifiers.size() << "\n};\n\n#endif\n";
}
