// Uses the installed library as its users do: headers as <wbk/...>.
#include <wbk/Pcm.h>
#include <wbk/Scenario.h>

#include <cstring>
#include <iostream>

int main()
{
    // Signed 8-bit data becomes unsigned; Shift-JIS "a" in katakana becomes EUC-JP.
    const unsigned char stored[] = {0x00, 0x7F, 0x80};
    const Pcm pcm(0, stored, sizeof stored);
    const unsigned char sjis[] = {0x83, 0x41};
    unsigned char euc[4] = {};
    const int converted = Scenario::convertSjis2Euc(sjis, 2, euc);
    const bool ok = pcm.getU8Size() == 3 && pcm.getU8Data()[0] == 0x80 && pcm.getU8Data()[2] == 0x00 &&
                    converted == 2 && euc[0] == 0xA5 && euc[1] == 0xA2;
    std::cout << (ok ? "library works" : "library gave wrong results") << std::endl;
    return ok ? 0 : 1;
}
