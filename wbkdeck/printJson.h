#ifndef WBKDECK_PRINT_JSON_H
#define WBKDECK_PRINT_JSON_H

#include "Bank.h"

#include <cstddef>
#include <vector>

// Prints the chosen entries (indices in bank order) as one JSON array of
// objects, one per entry: index, type (the stored byte), format ("adpcm" or
// "8bit"), name (Shift-JIS converted to UTF-8), name_hex (the stored name
// bytes without the zeros that fill the field), rate, size (stored bytes),
// samples (decoded), seconds (null for rate 0) and data_offset.
void printJson(const Bank& bank, const std::vector<std::size_t>& chosen);

#endif
