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

// The short refusals of the listing, playback and -d.
[[noreturn]] void refuseTersely(const Bank& bank)
{
    // The whole magic is read before it is looked at, so a file shorter than
    // it is cut short whatever it starts with.
    if (bank.length() < Bank::magicSize || bank.state() != Bank::State::notBank)
        failUnexpectedEnd();
    std::cerr << "Incorrect data format detected" << std::endl;
    std::exit(-1);
}

// One line naming the program, the file and what it lacks.
[[noreturn]] void refuseNamed(const Bank& bank, const char* name)
{
    std::cerr << "wbkdeck: " << visibleText(name, 1) << " is not a sound bank: ";
    if (bank.state() == Bank::State::empty)
        std::cerr << "it is empty";
    else if (bank.state() == Bank::State::notBank && bank.length() < Bank::magicCheckSize)
        std::cerr << "it holds only " << bank.length() << (bank.length() == 1 ? " byte" : " bytes");
    else if (bank.state() == Bank::State::notBank)
        std::cerr << "it does not start with WBK";
    else
        std::cerr << bank.damage()->text();
    std::cerr << std::endl;
    std::exit(-1);
}

} // namespace

std::unique_ptr<Bank> openBank(const char* name, Refusals refusals)
{
    std::unique_ptr<Bank> bank;
    try {
        bank = std::make_unique<Bank>(name);
    } catch (const BankError&) {
        printCantOpen(name);
        std::exit(-1);
    }
    if (bank->hasHeader())
        return bank;
    if (refusals == Refusals::terse)
        refuseTersely(*bank);
    refuseNamed(*bank, name);
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
