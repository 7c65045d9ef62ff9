// Drives Audio from the command line so that tests can run it against a
// simulated or emulated /dev/dsp. Each argument is one operation, run in order:
//   open close init:RATE setRate:RATE play:FILE (FILE "-" is standard input)
//   sync post reset fragment space rate rateRefused disable enable enabled
// An operation with a result prints "operation=result" on a line of its own.
#include "audio.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>

namespace {

const std::map<std::string, int (*)()> queries = {
    {"open", Audio::openAudioDevice},     {"close", Audio::closeAudioDevice},
    {"fragment", Audio::getFragmentSize}, {"space", Audio::getNoBlockingSize},
    {"rate", Audio::getSampleRate},       {"enabled", Audio::isAudioEnabled},
    {"rateRefused", Audio::isRateRefused},
};

const std::map<std::string, void (*)()> actions = {
    {"sync", Audio::sync},          {"post", Audio::post},     {"reset", Audio::resetAudioDevice},
    {"disable", Audio::disableAudio}, {"enable", Audio::enableAudio},
};

const std::map<std::string, int (*)(long)> rateChanges = {
    {"init", [](long rate) { return Audio::initializeAudioDevice(static_cast<int>(rate)); }},
    {"setRate", Audio::setRate},
};

std::string contentsOf(const std::string& path)
{
    std::ifstream file;
    if (path != "-")
        file.open(path, std::ios::binary);
    std::istream& in = path == "-" ? std::cin : file;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void play(const std::string& path)
{
    const std::string bytes = contentsOf(path);
    Audio::play(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
}

// Runs one operation; false when it is unknown.
bool run(const std::string& operation)
{
    const std::size_t colon = operation.find(':');
    const std::string name = operation.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : operation.substr(colon + 1);
    // endl flushes, so results printed before a fatal device error are kept.
    if (queries.count(name))
        std::cout << name << '=' << queries.at(name)() << std::endl;
    else if (rateChanges.count(name))
        std::cout << name << '=' << rateChanges.at(name)(std::stol(argument)) << std::endl;
    else if (actions.count(name))
        actions.at(name)();
    else if (name == "play")
        play(argument);
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!run(argv[i])) {
            std::cerr << "audioplay: unknown operation " << argv[i] << '\n';
            return 2;
        }
    }
    return 0;
}
