#ifndef WBK_EXAMPLES_DEMO_SCENARIO_H
#define WBK_EXAMPLES_DEMO_SCENARIO_H

#include "Scenario.h"

#include <string>
#include <vector>

// One command of a demo script: its name and its numbers.
struct DemoCommand {
    std::string name;
    std::vector<int> arguments;
};

// A small script format that shows how Scenario is completed. The header
// lines come first, each ended by CR LF, in any order:
//   #DEMO 1.2        magic word and version (ver1.ver2)
//   #COMMENT text    Shift-JIS comment up to the end of the line
//   #WAIT 30         wait value
//   #FILES           the data-file list follows, ended by a '.' line
//   #RESERVED        the reserved-name list follows, ended by a '.' line
//   #BEGIN           the commands start on the next line
// A command is a name, optionally followed by one space and numbers
// separated by ','. Commands are separated as Scenario does it.
class DemoScenario : public Scenario {
public:
    explicit DemoScenario(const char* filename);
    DemoScenario(const char* data, int size);

    void showInfo() override;
    int checkMagic() override;

    // Reads the command at or after the cursor; false at the end of the data.
    bool readCommand(DemoCommand& command);

protected:
    void init() override;

private:
    void readHeaderLine();
    void readVersion();
    void readComment();
    char* listStart();
    void nextLine();
    bool takeKeyword(const char* keyword);
    bool numberAt(int offset) const;
};

#endif
