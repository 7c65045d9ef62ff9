#ifndef WBK_TESTS_WBKDECK_RUN_TEST_H
#define WBK_TESTS_WBKDECK_RUN_TEST_H

#include "ProgramRunner.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A test with a directory of its own, in which it runs wbkdeck.
class WbkdeckRunTest : public ::testing::Test {
protected:
    // Runs wbkdeck, named so, in the test's directory unless run.workDir
    // names another, with umask 0.
    ProgramResult deck(const std::vector<std::string>& args, ProgramRun run = {})
    {
        run.args = args;
        run.argv0 = "wbkdeck";
        if (run.workDir.empty())
            run.workDir = dir.path();
        run.umask = 0;
        return runProgram(WBKDECK, run);
    }

    TempDir dir;
};

#endif
