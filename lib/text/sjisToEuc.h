#ifndef WBK_SJIS_TO_EUC_H
#define WBK_SJIS_TO_EUC_H

#include <ostream>

// Converts `size` bytes of Shift-JIS text into EUC-JP and returns the number
// of bytes written to `euc`, which must hold twice the input length. Never
// reads past the given length: a lead byte at the very end converts as if its
// trail byte were 0. Nothing is refused; undefined bytes pass through the
// same arithmetic.
int sjisToEuc(const unsigned char* sjis, int size, unsigned char* euc);

// Writes `size` bytes of Shift-JIS text: unchanged when `isOutputSjis` is
// nonzero, else converted to EUC-JP. Adds no newline and does not flush.
std::ostream& writeSjisText(std::ostream& out, const char* sjis, int size, int isOutputSjis);

#endif
