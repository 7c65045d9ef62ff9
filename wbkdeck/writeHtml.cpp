#include "writeHtml.h"

#include "HtmlPage.h"
#include "KovaOutputStream.h"
#include "OwnedFd.h"
#include "SampleOverview.h"
#include "StagedFile.h"
#include "WavWriter.h"
#include "filePath.h"
#include "sjisToUtf8.h"
#include "visibleText.h"
#include "writeDecodedWav.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path)
{
    throw std::runtime_error(what + " " + visibleText(path.c_str(), 1) + ": " + std::strerror(errno));
}

// A relative path as a URL path: bytes other than letters, digits, "-._~"
// and "/" percent-encoded.
std::string urlPath(const std::string& path)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string url;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::strchr("-._~/", c) != nullptr) {
            url += c;
            continue;
        }
        url += '%';
        url += digits[byte >> 4];
        url += digits[byte & 0xF];
    }
    return url;
}

// Why the entry gets no player, or an empty text when it gets one.
std::string whyNoPlayer(const BankEntry& entry)
{
    if (entry.rate == 0)
        return "no player: the rate is 0";
    if (entry.size == 0)
        return "no player: no data";
    if (entry.decodedSize() > WavWriter::maxDataSize)
        return "no player: more than 4 GiB decoded does not fit a WAV file";
    return "";
}

std::uint64_t decodedBytesOfPlayers(const Bank& bank, const std::vector<std::size_t>& chosen)
{
    std::uint64_t total = 0;
    for (std::size_t index : chosen) {
        const BankEntry& entry = bank.entries()[index];
        if (whyNoPlayer(entry).empty())
            total += entry.decodedSize();
    }
    return total;
}

PageHead headOf(const Bank& bank, const std::vector<std::size_t>& chosen, const std::string& bankPath)
{
    PageHead head;
    head.bankName = fileNameOf(bankPath);
    head.author = sjisToUtf8(bank.author());
    head.entryCount = chosen.size();
    for (std::size_t index : chosen) {
        const BankEntry& entry = bank.entries()[index];
        head.storedBytes += entry.size;
        if (entry.rate != 0)
            head.seconds += static_cast<double>(entry.decodedSize()) / entry.rate;
        ++(entry.isAdpcm() ? head.adpcmCount : head.pcm8Count);
    }
    return head;
}

PageRow rowOf(std::size_t index, const BankEntry& entry)
{
    PageRow row;
    row.index = index;
    row.name = sjisToUtf8(entry.nameText());
    row.format = entry.isAdpcm() ? "adpcm" : "8bit";
    row.rate = entry.rate;
    row.storedBytes = entry.size;
    row.samples = entry.decodedSize();
    return row;
}

// Decodes the entry once, into its overview and a WAV file on `wavFd`.
void decodeEntry(const Bank& bank, const BankEntry& entry, SampleOverview& overview, int wavFd,
                 const std::string& wavName)
{
    const std::string whyNotWritten = writeDecodedWav(
        bank, entry, wavFd, [&](const unsigned char* samples, std::size_t count) { overview.add(samples, count); });
    if (!whyNotWritten.empty())
        throw std::runtime_error("can not write to " + visibleText(wavName.c_str(), 1) + ": " + whyNotWritten);
}

// The folder `path`, created when missing, open.
OwnedFd openCreatedFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
        fail("can not create the folder", path);
    OwnedFd folder(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        fail("can not open the folder", path);
    return folder;
}

// The folder PAGE.files beside the page, created when missing, and the WAV
// files the page links in it.
class AudioFolder {
public:
    explicit AudioFolder(const std::string& pagePath)
        : path(pagePath + ".files"), urlPrefix(urlPath(fileNameOf(pagePath) + ".files") + "/"),
          folder(openCreatedFolder(path))
    {
    }

    const std::string& name() const { return path; }

    // Writes entry `index` as "000012.wav", staged and then put in place of
    // any file of that name; the page's URL of it.
    std::string writeWav(const Bank& bank, const BankEntry& entry, std::size_t index, SampleOverview& overview) const
    {
        char fileName[32];
        std::snprintf(fileName, sizeof fileName, "%06zu.wav", index);
        const std::string wavPath = path + "/" + fileName;
        StagedFile file(folder.get(), fileName, KovaOutputStream::filePermission);
        if (!file.isOpen())
            fail("can not create", wavPath);
        decodeEntry(bank, entry, overview, file.descriptor(), wavPath);
        if (!file.commit(true))
            fail("can not write to", wavPath);
        return urlPrefix + fileName;
    }

private:
    std::string path;
    std::string urlPrefix;
    OwnedFd folder;
};

// A WAV file that lives only while the page embeds it.
class ScratchWav {
public:
    ScratchWav() : file(std::tmpfile())
    {
        if (!file)
            fail("can not create a temporary file in", P_tmpdir);
    }
    ~ScratchWav() { std::fclose(file); }
    ScratchWav(const ScratchWav&) = delete;
    ScratchWav& operator=(const ScratchWav&) = delete;

    int descriptor() const { return fileno(file); }

private:
    std::FILE* file;
};

void writeEntry(HtmlPage& page, const Bank& bank, std::size_t index, const AudioFolder* folder)
{
    const BankEntry& entry = bank.entries()[index];
    SampleOverview overview(entry.decodedSize());
    const std::string why = whyNoPlayer(entry);
    const PageRow row = rowOf(index, entry);
    if (!why.empty()) {
        bank.decode(entry, [&](const unsigned char* samples, std::size_t count) {
            overview.add(samples, count);
            return true;
        });
        page.writeRow(row, overview);
        page.writeNoPlayer(why);
    } else if (folder) {
        const std::string url = folder->writeWav(bank, entry, index, overview);
        page.writeRow(row, overview);
        page.writeLinkedPlayer(url);
    } else {
        const ScratchWav wav;
        decodeEntry(bank, entry, overview, wav.descriptor(), "a temporary file");
        page.writeRow(row, overview);
        page.writeEmbeddedPlayer(wav.descriptor());
    }
}

} // namespace

void writeHtml(const Bank& bank, const std::vector<std::size_t>& chosen, const std::string& pagePath,
               const std::string& bankPath)
{
    PageHead head = headOf(bank, chosen, bankPath);
    const std::uint64_t decodedBytes = decodedBytesOfPlayers(bank, chosen);
    head.linksAudio = !embedsAudio(decodedBytes);

    StagedFile pageFile(AT_FDCWD, pagePath, KovaOutputStream::filePermission);
    if (!pageFile.isOpen())
        fail("can not create", pagePath);
    std::unique_ptr<AudioFolder> folder;
    if (head.linksAudio) {
        folder = std::make_unique<AudioFolder>(pagePath);
        std::cout << "the players link the WAV files in " << visibleText(folder->name().c_str(), 1) << "/: "
                  << (decodedBytes >> 20) << " MiB of decoded audio is more than a page embeds ("
                  << (pageEmbedLimit >> 20) << " MiB)" << std::endl;
    }
    HtmlPage page(pageFile.descriptor(), pagePath);
    page.writeHead(head);
    for (std::size_t index : chosen)
        writeEntry(page, bank, index, folder.get());
    page.finish();
    if (!pageFile.commit(true))
        fail("can not write to", pagePath);
}
