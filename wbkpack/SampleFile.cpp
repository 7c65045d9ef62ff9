#include "SampleFile.h"

#include "audioContainerOf.h"
#include "Refusal.h"
#include "filePath.h"
#include "SampleFormat.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

using namespace std::string_literals;

namespace {

constexpr std::size_t maxRateLine = 32;

// Reads one line, but no more than one character beyond `limit`: a longer
// answer is refused without being read whole.
std::string readLine(std::size_t limit)
{
    std::string line;
    for (int c; line.size() <= limit && (c = std::cin.get()) != EOF && c != '\n';)
        line += static_cast<char>(c);
    return line;
}

} // namespace

std::uint16_t parseRate(const std::string& answer)
{
    const char* text = answer.c_str();
    char* end = nullptr;
    errno = 0;
    const long rate = std::strtol(text, &end, 10);
    while (end != text && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (answer.size() > maxRateLine || end == text || *end != '\0' || errno != 0 || rate < 1 ||
        rate > UINT16_MAX)
        throw Refusal("the sample rate must be a whole number from 1 to 65535.");
    return static_cast<std::uint16_t>(rate);
}

std::uint16_t askRate(const char* sampleName)
{
    std::cout << "input sample rate of " << sampleName << ":" << std::flush;
    return parseRate(readLine(maxRateLine));
}

std::string storedName(const char* path)
{
    const std::string name = fileNameOf(path);
    if (name.size() <= Bank::nameSize)
        return name;
    std::cerr << "the name " << name << " is stored cut to its first 16 bytes: " << name.substr(0, Bank::nameSize)
              << std::endl;
    return name.substr(0, Bank::nameSize);
}

void checkSampleContent(const char* path, std::int64_t size, const char (&start)[audioContainerMagicSize])
{
    if (size > Bank::maxSampleSize)
        throw Refusal(path + " is too large: a sample must be smaller than 2147483648 bytes."s);
    const char* format = audioContainerOf(start);
    if (!format)
        return;
    const std::string name = fileNameOf(path);
    const std::string stem = name.substr(0, name.rfind('.'));
    const std::string converted = stem + (name == stem + ".pcm" ? "-converted.pcm" : ".pcm");
    throw Refusal(path + " is a "s + format + " file, not raw sample data: convert it first, e.g. with: wbkenc " +
                  path + " " + converted);
}

SampleFile::SampleFile(const char* path) : name(path), file(path)
{
    if (file.problem() == SourceFile::notRegular)
        throw Refusal(path + " is not a regular file"s);
    if (!file.problem().empty())
        throw Refusal(Refusal::Kind::cannotOpen, path);
    checkSampleContent(path, file.size(), file.start());
    head.type = sampleFormatOf(path) == SampleFormat::adpcm ? 1 : 0;
    const std::string stored = storedName(path);
    std::copy(stored.begin(), stored.end(), head.name.begin());
    head.size = static_cast<std::uint32_t>(file.size());
}
