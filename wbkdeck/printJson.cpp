#include "printJson.h"

#include "sjisToUtf8.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

namespace {

std::string hexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

nlohmann::ordered_json entryObject(std::size_t index, const BankEntry& entry)
{
    nlohmann::ordered_json object;
    object["index"] = index;
    object["type"] = entry.type;
    object["format"] = entry.isAdpcm() ? "adpcm" : "8bit";
    object["name"] = sjisToUtf8(entry.nameText());
    object["name_hex"] = hexOf(entry.nameBytes());
    object["rate"] = entry.rate;
    object["size"] = entry.size;
    object["samples"] = entry.decodedSize();
    if (entry.rate == 0)
        object["seconds"] = nullptr;
    else
        object["seconds"] = static_cast<double>(entry.decodedSize()) / entry.rate;
    object["data_offset"] = entry.dataOffset();
    return object;
}

} // namespace

void printJson(const Bank& bank, const std::vector<std::size_t>& chosen)
{
    nlohmann::ordered_json listing = nlohmann::ordered_json::array();
    for (std::size_t index : chosen)
        listing.push_back(entryObject(index, bank.entries()[index]));
    std::cout << listing.dump(2) << '\n';
}
