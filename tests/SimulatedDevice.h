#ifndef WBK_TESTS_SIMULATED_DEVICE_H
#define WBK_TESTS_SIMULATED_DEVICE_H

#include "TestFiles.h"

#include <string>
#include <vector>

// The simulated /dev/dsp of tests/fakedsp, recording what a program plays and
// every device call into files of a temporary directory.
class SimulatedDevice {
public:
    // The environment that preloads the device for a child program.
    std::vector<std::string> environment() const
    {
        return {"LD_PRELOAD=" FAKEDSP_LIBRARY, "ASAN_OPTIONS=verify_asan_link_order=0",
                "FAKEDSP_CAPTURE=" + capturePath(), "FAKEDSP_LOG=" + logPath()};
    }
    std::string played() const { return fileExists(capturePath()) ? readBytes(capturePath()) : ""; }
    std::string log() const { return fileExists(logPath()) ? readBytes(logPath()) : ""; }
    // Forgets what earlier runs recorded.
    void clear() const
    {
        std::remove(capturePath().c_str());
        std::remove(logPath().c_str());
    }

private:
    std::string capturePath() const { return dir / "capture"; }
    std::string logPath() const { return dir / "log"; }

    TempDir dir;
};

inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

#endif
