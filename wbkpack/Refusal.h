#ifndef WBKPACK_REFUSAL_H
#define WBKPACK_REFUSAL_H

#include <stdexcept>
#include <string>

// Why a run of wbkpack stops, thrown up to main, which prints it and exits
// with 255 (the run's changes undone on the way out).
class Refusal : public std::runtime_error {
public:
    enum class Kind {
        sentence,  // what(), after "wbkpack: " except in the plain append
        failedCall,  // "can not ACTION NAME : reason"; for "write", then "NAME may be broken."
        cannotOpen,  // "Can't open NAME."
        verbatim,  // name(), as it is (a usage)
    };

    explicit Refusal(const std::string& sentence) : std::runtime_error(sentence) {}
    Refusal(Kind kind, const std::string& name, const std::string& action = "", int errorNumber = 0)
        : std::runtime_error(action), refusalKind(kind), fileName(name), number(errorNumber)
    {
    }

    Kind kind() const { return refusalKind; }
    const std::string& name() const { return fileName; }
    int errorNumber() const { return number; }

private:
    Kind refusalKind = Kind::sentence;
    std::string fileName;
    int number = 0;
};

#endif
