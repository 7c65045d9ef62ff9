#include "deviceFailure.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>

namespace {

thread_local volatile sig_atomic_t insideStreamer = 0;

} // namespace

void printLabel(const char* label, int value)
{
    std::cerr << label << value << '\n';
}

void reportFromStreamer(bool inside)
{
    insideStreamer = inside;
}

void failFatally(const char* prefix, int error)
{
    errno = error;
    if (!insideStreamer) {
        std::perror(prefix);
        std::exit(-1);
    }
    const char* reason = strerrordesc_np(error);
    char message[256] = "";
    for (const char* part : {prefix, ": ", reason ? reason : "Unknown error", "\n"})
        std::strncat(message, part, sizeof message - std::strlen(message) - 1);
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, std::strlen(message));
    _exit(-1);
}
