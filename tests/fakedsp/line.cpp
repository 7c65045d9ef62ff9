#include "line.h"

#include "config.h"
#include "real.h"

namespace fakedsp {

Line& Line::str(const char* text) {
    while (*text && len_ < sizeof buf_ - 1) buf_[len_++] = *text++;
    return *this;
}

Line& Line::num(long long value) {
    char digits[24];
    int n = 0;
    unsigned long long v = value < 0 ? 0ULL - value : value;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    if (value < 0) digits[n++] = '-';
    char reversed[24];
    for (int i = 0; i < n; ++i) reversed[i] = digits[n - 1 - i];
    reversed[n] = '\0';
    return str(reversed);
}

Line& Line::kv(const char* key, long long value) { return str(" ").str(key).str("=").num(value); }

Line& Line::error(int err) {
    const char* name = errno_name(err);
    str(" error=");
    return name ? str(name) : num(err);
}

void Line::send(int fd) {
    if (fd < 0) return;
    buf_[len_++] = '\n';  // str() always leaves room for it
    real_write(fd, buf_, len_);
    len_--;
}

}  // namespace fakedsp
