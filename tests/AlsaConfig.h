#ifndef WBK_TESTS_ALSA_CONFIG_H
#define WBK_TESTS_ALSA_CONFIG_H

#include <string>

// The body of an ALSA PCM that records what is played into WAV files, one per
// opening: `wav` for the first, then `wav`.0001, `wav`.0002, ...
inline std::string wavRecorderPcm(const std::string& wav)
{
    return "{ type file; slave.pcm { type null }; file \"" + wav + "\"; format \"wav\"; truncate false }\n";
}

// Makes libasound read the configuration file `path` and nothing else, so
// that neither the machine's configuration nor a sound server it routes
// "default" to changes what a test plays.
inline std::string alsaConfigPath(const std::string& path)
{
    return "ALSA_CONFIG_PATH=" + path;
}

#endif
