#ifndef WBK_FUZZ_DISCARD_H
#define WBK_FUZZ_DISCARD_H

#include <cstdlib>
#include <streambuf>

// A stream buffer that throws its output away and counts the bytes.
class CountingBuffer : public std::streambuf {
public:
    std::streamsize count = 0;

protected:
    int overflow(int c) override
    {
        ++count;
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        count += n;
        return n;
    }
};

// Ends the run so that libFuzzer keeps the input as a crash.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

#endif
