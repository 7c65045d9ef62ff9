#include "openBank.h"

#include "printError.h"
#include "visibleText.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

[[noreturn]] void failUnexpectedEnd()
{
    std::cerr << "Unexpected end of file." << std::endl;
    std::exit(-1);
}

} // namespace

std::unique_ptr<Bank> openBank(const char* name)
{
    std::unique_ptr<Bank> bank;
    try {
        bank = std::make_unique<Bank>(name);
    } catch (const BankError&) {
        printCantOpen(name);
        std::exit(-1);
    }
    // The whole magic is read before it is looked at, so a file shorter than
    // it is cut short whatever it starts with.
    if (bank->length() < Bank::magicSize)
        failUnexpectedEnd();
    if (bank->state() == Bank::State::notBank) {
        std::cerr << "Incorrect data format detected" << std::endl;
        std::exit(-1);
    }
    if (!bank->hasHeader())
        failUnexpectedEnd();
    return bank;
}

void stopAtDamage(const Bank& bank)
{
    if (bank.state() == Bank::State::damaged)
        failUnexpectedEnd();
}

void refuseDamage(const Bank& bank, const char* name)
{
    if (bank.state() != Bank::State::damaged)
        return;
    const std::string shown = visibleText(name, 1);
    std::cerr << "wbkdeck: " << shown << " is damaged: " << bank.damage()->text() << "; wbkpack --repair " << shown
              << " cuts it back to its last whole entry" << std::endl;
    std::exit(-1);
}
