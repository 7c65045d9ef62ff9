#include "failures.h"

#include "printError.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

using namespace std::string_literals;

namespace {

std::string refusalPrefix;

} // namespace

void nameTheProgramInRefusals()
{
    refusalPrefix = "wbkpack: ";
}

void refuse(const std::string& message)
{
    const bool named = message.compare(0, refusalPrefix.size(), refusalPrefix) == 0;
    std::cerr << (named ? "" : refusalPrefix) << message << std::endl;
    std::exit(-1);
}

void failOpen(const char* name)
{
    printOpenError(name);
    std::exit(-1);
}

void failWrite(const char* name)
{
    printWriteError(name);
    std::exit(-1);
}

void failOn(const char* action, const char* name)
{
    std::cerr << "can not " << action << " " << name << std::flush;
    std::perror(" ");
    std::exit(-1);
}

void failOn(const char* action, const char* name, const BankError& error)
{
    errno = error.errorNumber();
    failOn(action, name);
}

std::unique_ptr<Bank> readBank(int fd, const char* name)
{
    try {
        return std::make_unique<Bank>(fd);
    } catch (const BankError& error) {
        failOn("read", name, error);
    }
}

Bank::State stateOf(const Bank& bank)
{
    if (bank.state() == Bank::State::damaged && bank.length() < Bank::magicCheckSize)
        return Bank::State::notBank;
    return bank.state();
}

void requireWhole(const Bank& bank, const char* name)
{
    switch (stateOf(bank)) {
    case Bank::State::empty:
    case Bank::State::whole:
        return;
    case Bank::State::notBank:
        refuse(name + " is not a sound bank: it does not start with WBK (the bank comes first: "s +
               "wbkpack BANK SAMPLE)");
    case Bank::State::damaged:
        refuse(name + " is damaged: "s + bank.damage()->text() + "; wbkpack --repair " + name +
               " cuts it back to its last whole entry");
    }
}
