// scenario_dump: prints a demo scenario script: its header, its comment in
// EUC-JP, its commands with their numbers and both of its lists.
#include "DemoScenario.h"

#include <iostream>

namespace {

void printCommands(DemoScenario& scenario)
{
    std::cout << "commands:\n";
    scenario.setBeginPoint();
    DemoCommand command;
    while (scenario.readCommand(command)) {
        std::cout << "  " << command.name;
        for (int argument : command.arguments)
            std::cout << ' ' << argument;
        std::cout << '\n';
    }
}

void printList(DemoScenario& scenario, const char* title, char* (Scenario::*nextName)())
{
    std::cout << title << '\n';
    while (const char* name = (scenario.*nextName)())
        std::cout << "  " << name << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: scenario_dump SCRIPT" << std::endl;
        return 2;
    }
    DemoScenario scenario(argv[1]);
    if (!scenario.checkMagic()) {
        std::cerr << argv[1] << " is not a demo scenario." << std::endl;
        return 1;
    }
    scenario.showInfo();
    std::cout << "comment: ";
    scenario.printComment(0);
    printCommands(scenario);
    printList(scenario, "data files:", &Scenario::getDataFilename);
    printList(scenario, "reserved names:", &Scenario::getReservedName);
    return 0;
}
