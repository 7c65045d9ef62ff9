#ifndef WBKPACK_OPTIONS_H
#define WBKPACK_OPTIONS_H

#include <string>
#include <vector>

// What the command line asks for. Without an edit option it is an append:
// the plain form with one sample, or several samples at once.
struct Options {
    enum class Edit { none, replace, insert, remove, set, move, build };
    bool repair = false;
    Edit edit = Edit::none;
    const char* rate = nullptr;
    const char* name = nullptr;        // --name
    const char* entry = nullptr;       // ENTRY of --replace, --set and --move, INDEX of --insert
    std::vector<std::string> removed;  // ENTRY of each --remove
    const char* to = nullptr;          // INDEX of --to
    const char* quality = nullptr;     // -q, for --build
    const char* jobs = nullptr;        // -j, for --build
    const char* type = nullptr;        // --type, for --build BANK DIR
    std::vector<const char*> operands;
    std::string answer;  // what --help or --version print instead of a run
};

// Reads the options and checks that they go together; a refused command line
// throws Refusal.
Options parseOptions(int argc, char* argv[]);

#endif
