// Builds one log line in a fixed buffer; async-signal-safe (no malloc, no
// stdio), so it can be used from calls made inside a signal handler.
#pragma once

#include <cstddef>

namespace fakedsp {

class Line {
public:
    explicit Line(const char* text) { str(text); }
    Line& str(const char* text);
    Line& num(long long value);
    Line& kv(const char* key, long long value);  // appends " key=value"
    Line& error(int err);                        // appends " error=ENAME"
    // Writes the line and a newline to `fd` (nothing when fd < 0).
    void send(int fd);

private:
    char buf_[200];
    size_t len_ = 0;
};

}  // namespace fakedsp
