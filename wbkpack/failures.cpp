#include "failures.h"

#include "printError.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

using namespace std::string_literals;

namespace {

// What a damaged bank is missing, e.g. "the entry at offset 63 claims 100
// bytes but only 10 remain".
std::string damageText(const BankDamage& damage)
{
    const std::string present = std::to_string(damage.present);
    if (damage.part == BankDamage::header)
        return "the header is cut short after " + present + " bytes";
    const std::string entry = "the entry at offset " + std::to_string(damage.offset);
    if (damage.part == BankDamage::entryHead)
        return entry + " is cut short after " + present + " bytes";
    return entry + " claims " + std::to_string(damage.needed - Bank::entryHeadSize) + " bytes but only " +
           std::to_string(damage.present - Bank::entryHeadSize) + " remain";
}

} // namespace

void refuse(const std::string& message)
{
    std::cerr << message << std::endl;
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
        refuse(name + " is damaged: "s + damageText(*bank.damage()) + "; wbkpack --repair " + name +
               " cuts it back to its last whole entry");
    }
}
