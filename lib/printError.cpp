#include "printError.h"

#include <cstdio>
#include <iostream>

void printOpenError(const char* name)
{
    std::cerr << "can not open " << name << std::flush;
    std::perror(" ");
}

void printWriteError(const char* name)
{
    std::cerr << "can not write to " << name << std::flush;
    std::perror(" ");
    std::cerr << name << " may be broken." << std::endl;
}
