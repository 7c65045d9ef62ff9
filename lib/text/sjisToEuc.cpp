#include "sjisToEuc.h"

#include <cstddef>
#include <memory>

namespace {

bool isHalfWidthKatakana(unsigned char s) { return s >= 0xA1 && s <= 0xDF; }
bool isLeadByte(unsigned char s) { return (s >= 0x81 && s <= 0x9F) || (s >= 0xE0 && s <= 0xFC); }

} // namespace

int sjisToEuc(const unsigned char* sjis, int size, unsigned char* euc)
{
    int j = 0;
    for (int i = 0; i < size;) {
        const unsigned char s = sjis[i];
        if (isHalfWidthKatakana(s)) {
            euc[j++] = 0x8E;
            euc[j++] = s;
            i += 1;
        } else if (isLeadByte(s)) {
            const unsigned char t = i + 1 < size ? sjis[i + 1] : 0;
            unsigned char e1 = static_cast<unsigned char>(2 * s + (s <= 0x9F ? 0x9F : 0x1F));
            unsigned char e2;
            if (t >= 0x9F) {
                e1 = static_cast<unsigned char>(e1 + 1);
                e2 = static_cast<unsigned char>(t + 2);
            } else if (t >= 0x80) {
                e2 = static_cast<unsigned char>(t + 0x60);
            } else {
                e2 = static_cast<unsigned char>(t + 0x61);
            }
            euc[j++] = e1;
            euc[j++] = e2;
            i += 2;
        } else {
            euc[j++] = s;
            i += 1;
        }
    }
    return j;
}

std::ostream& writeSjisText(std::ostream& out, const char* sjis, int size, int isOutputSjis)
{
    if (size <= 0)
        return out;
    if (isOutputSjis)
        return out.write(sjis, size);
    const auto euc = std::make_unique<unsigned char[]>(2 * static_cast<std::size_t>(size));
    const int length = sjisToEuc(reinterpret_cast<const unsigned char*>(sjis), size, euc.get());
    return out.write(reinterpret_cast<const char*>(euc.get()), length);
}
