#include "sjisToUtf8.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace {

const char replacement[] = "\xEF\xBF\xBD";  // U+FFFD

// An iconv conversion descriptor, closed at the end.
class Converter {
public:
    Converter() : descriptor(iconv_open("UTF-8", "CP932"))
    {
        if (descriptor == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv can not convert CP932 to UTF-8");
    }
    ~Converter() { iconv_close(descriptor); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of [in, in + left) as it can into `out`; false when
    // it stopped at a byte that it can not convert.
    bool convert(char*& in, std::size_t& left, std::string& out)
    {
        char buffer[256];
        while (left > 0) {
            char* next = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t result = iconv(descriptor, &in, &left, &next, &room);
            out.append(buffer, next);
            if (result == static_cast<std::size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t descriptor;
};

} // namespace

std::string sjisToUtf8(const std::string& sjis)
{
    Converter converter;
    std::string input = sjis;
    char* in = input.data();
    std::size_t left = input.size();
    std::string utf8;
    while (!converter.convert(in, left, utf8)) {
        utf8 += replacement;
        ++in;
        --left;
    }
    return utf8;
}
