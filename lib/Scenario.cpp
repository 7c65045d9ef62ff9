#include "Scenario.h"

#include <memory>

namespace {

bool isHalfWidthKatakana(unsigned char s) { return s >= 0xA1 && s <= 0xDF; }
bool isLeadByte(unsigned char s) { return (s >= 0x81 && s <= 0x9F) || (s >= 0xE0 && s <= 0xFC); }

} // namespace

int Scenario::convertSjis2Euc(const unsigned char* comment, int numberOfCharInComment, unsigned char* eucComment)
{
    int j = 0;
    for (int i = 0; i < numberOfCharInComment;) {
        const unsigned char s = comment[i];
        if (isHalfWidthKatakana(s)) {
            eucComment[j++] = 0x8E;
            eucComment[j++] = s;
            i += 1;
        } else if (isLeadByte(s)) {
            // A lead byte at the very end converts as if its trail byte were 0.
            const unsigned char t = i + 1 < numberOfCharInComment ? comment[i + 1] : 0;
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
            eucComment[j++] = e1;
            eucComment[j++] = e2;
            i += 2;
        } else {
            eucComment[j++] = s;
            i += 1;
        }
    }
    return j;
}

std::ostream& Scenario::writeSjis(std::ostream& outputStream, const char* sjisData, int size, int isOutputSjis)
{
    if (size <= 0)
        return outputStream;
    if (isOutputSjis)
        return outputStream.write(sjisData, size);
    const auto euc = std::make_unique<unsigned char[]>(2 * static_cast<std::size_t>(size));
    const int length = convertSjis2Euc(reinterpret_cast<const unsigned char*>(sjisData), size, euc.get());
    return outputStream.write(reinterpret_cast<const char*>(euc.get()), length);
}
