#include "printError.h"

#include "visibleText.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

// Names may come from a bank: control characters are shown escaped. errno
// is kept for perror.

void printOpenError(const char* name)
{
    const int error = errno;
    std::cerr << "can not open " << visibleText(name, 1) << std::flush;
    errno = error;
    std::perror(" ");
}

void printWriteError(const char* name)
{
    const int error = errno;
    const std::string shown = visibleText(name, 1);
    std::cerr << "can not write to " << shown << std::flush;
    errno = error;
    std::perror(" ");
    std::cerr << shown << " may be broken." << std::endl;
}

void printCantOpen(const char* name)
{
    std::cerr << "Can't open " << visibleText(name, 1) << "." << std::endl;
}
