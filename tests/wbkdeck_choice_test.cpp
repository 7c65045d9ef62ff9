// ENTRY arguments: every mode that deals with entries deals with the chosen
// ones only, in bank order, each once.
#include "BankBytes.h"
#include "ProgramRunner.h"
#include "SimulatedDevice.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> names = {"a.pc8", "b.pcm", "dup", "c.pc8", "dup"};

// The listing rows, playing lines and files of a run.
struct Outcome {
    std::vector<std::string> rows;
    std::vector<std::string> plays;
    std::set<std::string> files;
    bool operator==(const Outcome& other) const
    {
        return rows == other.rows && plays == other.plays && files == other.files;
    }
};

// What `mode` ("" for playback) shows and makes of the chosen entries.
Outcome expectedOf(const std::string& mode, const std::vector<int>& chosen)
{
    Outcome outcome;
    for (int k : chosen) {
        if (mode == "-l" || mode.empty())
            outcome.rows.push_back(std::to_string(k) + "\t8bit    \t1\t8000\t" + names[k] + "   \t0.000125");
        if (mode.empty())
            outcome.plays.push_back(names[k] + ":now playing " + std::to_string(k) + "-th pcm...done.");
        if (mode == "-d" || mode == "-w")
            outcome.files.insert(names[k] + (mode == "-w" ? ".wav" : ""));
    }
    return outcome;
}

Outcome outcomeOf(const ProgramResult& result, const std::string& directory)
{
    Outcome outcome;
    for (const std::string& line : linesOf(result.out)) {
        if (line.find("\t8bit ") != std::string::npos)
            outcome.rows.push_back(line);
        if (line.find(":now playing ") != std::string::npos)
            outcome.plays.push_back(line);
    }
    outcome.files = filesIn(directory);
    outcome.files.erase("bank.wbk");
    return outcome;
}

TEST(WbkdeckChoiceTest, ModesDealWithTheChosenEntriesInBankOrder)
{
    std::string bytes = bankHeader();
    for (const std::string& name : names)
        bytes += sampleEntry(0, name, 8000, "x");
    const struct {
        std::vector<std::string> entries;
        std::vector<int> chosen;
        std::string err;  // a refusal: nothing is shown or made
    } cases[] = {
        {{"3", "0-1"}, {0, 1, 3}, ""},
        {{"c.pc8", "1", "1-1", "\\x63.pc8"}, {1, 3}, ""},
        {{"3-4", "0"}, {0, 3, 4}, ""},
        {{"dup"}, {}, "wbkdeck: the name \"dup\" is carried by entries 2 and 4: choose one by its index\n"},
        {{"0", "5"}, {}, "wbkdeck: there is no entry 5: the bank has 5 entries (0-4)\n"},
        {{"3-1"}, {}, "wbkdeck: 3-1 is not a range: its first index is above its last\n"},
        {{"--", "3"}, {3}, ""},  // "--" after the bank ends the options, which had ended
        {{"--", "--"}, {}, "wbkdeck: no entry is named \"--\"\n"},
    };
    for (const auto& c : cases) {
        for (const std::string mode : {"-l", "-d", "-w", ""}) {
            TempDir dir;
            writeBytes(dir / "bank.wbk", bytes);
            const SimulatedDevice device;
            ProgramRun run;
            run.args = {"bank.wbk"};
            if (!mode.empty())
                run.args.insert(run.args.begin(), mode);
            run.args.insert(run.args.end(), c.entries.begin(), c.entries.end());
            run.workDir = dir.path();
            run.setEnv = device.environment();
            const ProgramResult result = runProgram(WBKDECK, run);
            const std::string what = c.entries.front() + " " + mode;
            EXPECT_EQ(result.err, c.err) << what;
            EXPECT_EQ(result.status, c.err.empty() ? 0 : 255) << what;
            EXPECT_TRUE(outcomeOf(result, dir.path()) == expectedOf(mode, c.chosen)) << what << "\n" << result.out;
            if (!c.err.empty()) {
                EXPECT_EQ(result.out, "") << what;
            }
        }
    }
}

} // namespace
