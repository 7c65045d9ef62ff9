// Fuzzes the manifest reader: any text is read or refused with a line
// number; what is read is written again, and that reads back to the same.
#include "Discard.h"
#include "Manifest.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
    Manifest manifest;
    try {
        manifest = readManifest(text);
    } catch (const ManifestError& error) {
        check(error.line() >= 1);
        return 0;
    }
    std::stringstream written;
    writeManifest(written, manifest);
    check(readManifest(written) == manifest);
    return 0;
}
