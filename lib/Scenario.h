#ifndef WBK_SCENARIO_H
#define WBK_SCENARIO_H

#include <ostream>

// Base of a scenario script reader. Its static members write Shift-JIS text
// to a stream, converted to EUC-JP or unchanged, and need no object.
class Scenario {
public:
    // Converts `numberOfCharInComment` bytes of Shift-JIS text into EUC-JP and
    // returns the number of bytes written to `eucComment`, which must hold
    // twice the input length. Never reads past the given length.
    static int convertSjis2Euc(const unsigned char* comment, int numberOfCharInComment, unsigned char* eucComment);

    // Writes `size` bytes of Shift-JIS text: unchanged when `isOutputSjis` is
    // nonzero, else converted to EUC-JP. Adds no newline and does not flush.
    static std::ostream& writeSjis(std::ostream& outputStream, const char* sjisData, int size, int isOutputSjis);
};

#endif
