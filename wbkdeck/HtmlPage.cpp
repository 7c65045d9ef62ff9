#include "HtmlPage.h"

#include "htmlText.h"
#include "pageAssets.h"
#include "readWriteAll.h"
#include "visibleText.h"

#include <nettle/base64.h>
#include <nettle/sha2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// Held text goes to the file past this much.
constexpr std::size_t bufferLimit = 1 << 20;

std::string base64Of(const unsigned char* bytes, std::size_t count)
{
    std::string text(BASE64_ENCODE_RAW_LENGTH(count), '\0');
    base64_encode_raw(text.data(), count, bytes);
    return text;
}

std::string formatted(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string sizeText(std::uint64_t bytes)
{
    const char* units[] = {"bytes", "KiB", "MiB", "GiB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    for (; value >= 1024 && unit + 1 < std::size(units); ++unit)
        value /= 1024;
    if (unit == 0)
        return std::to_string(bytes) + " bytes";
    return formatted("%.1f ", value) + units[unit];
}

// Seconds as minutes and seconds past a minute: "0.512 s", "3:07.2".
std::string durationText(double seconds)
{
    if (seconds < 60)
        return formatted("%.3f s", seconds);
    const double minutes = std::floor(seconds / 60);
    return formatted("%.0f:", minutes) + formatted("%04.1f", seconds - 60 * minutes);
}

// The peak distance from silence in dB below full scale (128).
std::string peakText(unsigned peak)
{
    if (peak == 0)
        return "silent";
    return formatted("%.1f dBFS", 20 * std::log10(peak / 128.0));
}

// The columns' bars as one path: a rectangle per column, y growing down
// from 255 (the sample value 255) to 0. Each bar reaches to the range of the
// one before, as the signal went from there, so that the line never breaks.
std::string barsPath(const std::vector<SampleOverview::Column>& columns, bool clippedOnes)
{
    std::string path;
    SampleOverview::Column before;  // empty: low above high
    for (std::size_t x = 0; x < columns.size(); ++x) {
        SampleOverview::Column bar = columns[x];
        if (bar.low > bar.high)
            continue;
        const bool clipped = bar.low == 0 || bar.high == 255;
        if (before.low <= before.high) {
            bar.low = std::min(bar.low, before.high);
            bar.high = std::max(bar.high, before.low);
        }
        before = columns[x];
        if (clipped != clippedOnes)
            continue;
        path += 'M' + std::to_string(x) + ' ' + std::to_string(255 - bar.high) + "h1v" +
                std::to_string(bar.high - bar.low + 1) + "h-1z";
    }
    return path;
}

// Fills `piece` from `offset` of the file unless it ends first; the bytes read.
std::size_t readPiece(int fd, std::vector<unsigned char>& piece, std::uint64_t offset)
{
    const std::size_t count = readAt(fd, piece.data(), piece.size(), offset);
    if (count < piece.size() && errno != 0)
        throw std::runtime_error("can not read back a WAV file: " + std::string(std::strerror(errno)));
    return count;
}

// The inline SVG of a sample's waveform: one bar per column from its lowest
// to its highest value; clipped columns drawn apart.
std::string waveformSvg(const SampleOverview& overview)
{
    const std::size_t width = std::max<std::size_t>(overview.columns().size(), 1);
    return "<svg viewBox=\"0 0 " + std::to_string(width) +
           " 256\" preserveAspectRatio=\"none\" role=\"img\" aria-label=\"waveform\"><path d=\"" +
           barsPath(overview.columns(), false) + "\"/><path class=\"clip\" d=\"" + barsPath(overview.columns(), true) +
           "\"/></svg>";
}

// The script's CSP source, 'sha256-' and the base64 of its SHA-256.
std::string scriptHashSource()
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, std::strlen(pageScript), reinterpret_cast<const std::uint8_t*>(pageScript));
    unsigned char digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    return "'sha256-" + base64Of(digest, sizeof digest) + "'";
}

const char* const tableHead = "<table id=\"entries\"><thead><tr><th>No.</th><th>Name</th><th>Format</th>"
                              "<th>Rate</th><th>Stored</th><th>Length</th><th>Peak</th><th>Clipped</th>"
                              "<th>Waveform</th><th>Play</th></tr></thead>\n<tbody>\n";

} // namespace

HtmlPage::HtmlPage(int fd, std::string pageName) : fd(fd), pageName(std::move(pageName)) {}

void HtmlPage::writeHead(const PageHead& head)
{
    // 'self' lets the players reach the files beside the page.
    const std::string policy = "default-src 'none'; script-src " + scriptHashSource() +
                               "; style-src 'unsafe-inline'; img-src data:; media-src data:" +
                               (head.linksAudio ? " 'self'" : "") + "; base-uri 'none'; form-action 'none'";
    const std::string name = htmlText(head.bankName);
    put("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"" + policy + "\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>" + name + "</title>\n<style>" + pageStyle + "</style>\n</head>\n<body>\n<header>\n"
        "<h1>" + name + "</h1>\n<p class=\"facts\">by <b>" + htmlText(head.author) + "</b> · " +
        std::to_string(head.entryCount) + " entries · " + durationText(head.seconds) + " · " +
        sizeText(head.storedBytes) + " stored · " + std::to_string(head.adpcmCount) + " adpcm, " +
        std::to_string(head.pcm8Count) + " 8bit</p>\n");
    if (head.linksAudio)
        put("<p class=\"linked\">The players play the WAV files in the folder beside this page.</p>\n");
    put("<div class=\"bar\"><input type=\"search\" id=\"search\" placeholder=\"Search names (/)\" "
        "aria-label=\"Search names\" autocomplete=\"off\"><p class=\"keys\"><span id=\"shown\">" +
        std::to_string(head.entryCount) + "</span> shown · ↑/↓ or j/k select · Space plays · / searches</p></div>\n"
        "</header>\n<main>\n" + tableHead);
}

void HtmlPage::writeRow(const PageRow& row, const SampleOverview& overview)
{
    const bool hasRate = row.rate != 0;
    const double seconds = hasRate ? static_cast<double>(row.samples) / row.rate : 0;
    put("<tr data-index=\"" + std::to_string(row.index) + "\"><td class=\"num idx\">" + std::to_string(row.index) +
        "</td><td class=\"name\">" + htmlText(row.name) + "</td><td class=\"fmt\">" + row.format +
        "</td><td class=\"num rate\" data-label=\"rate\">" + std::to_string(row.rate) +
        " Hz</td><td class=\"num size\" data-label=\"stored\">" + std::to_string(row.storedBytes) +
        " B</td><td class=\"num secs\" data-label=\"length\">" + (hasRate ? durationText(seconds) : "—") +
        "</td><td class=\"num peak\" data-label=\"peak\">" + peakText(overview.peak()) + "</td><td class=\"num" +
        (overview.clipped() != 0 ? " clipped" : "") + " clip-count\" data-label=\"clipped\">" +
        std::to_string(overview.clipped()) + "</td><td class=\"wave\">" + waveformSvg(overview) +
        "</td><td class=\"play\">");
}

void HtmlPage::writeEmbeddedPlayer(int wavFd)
{
    put("<audio controls preload=\"metadata\" src=\"data:audio/wav;base64,");
    // Whole pieces of a multiple of 3 bytes encode without padding: only
    // the last one may end with some.
    std::vector<unsigned char> piece(3 << 16);
    std::uint64_t offset = 0;
    for (std::size_t count; (count = readPiece(wavFd, piece, offset)) > 0; offset += count)
        put(base64Of(piece.data(), count));
    put("\"></audio></td></tr>\n");
}

void HtmlPage::writeLinkedPlayer(const std::string& relativeUrl)
{
    put("<audio controls preload=\"metadata\" src=\"" + htmlText(relativeUrl) + "\"></audio></td></tr>\n");
}

void HtmlPage::writeNoPlayer(const std::string& why)
{
    put("<span class=\"why\">" + htmlText(why) + "</span></td></tr>\n");
}

void HtmlPage::finish()
{
    put(std::string("</tbody>\n</table>\n</main>\n<script>") + pageScript + "</script>\n</body>\n</html>\n");
    flushBuffer();
}

void HtmlPage::put(const std::string& text)
{
    buffer += text;
    if (buffer.size() >= bufferLimit)
        flushBuffer();
}

void HtmlPage::flushBuffer()
{
    if (writeAll(fd, buffer.data(), buffer.size()) != buffer.size())
        throw std::runtime_error("can not write to " + visibleText(pageName.c_str(), 1) + ": " + std::strerror(errno));
    buffer.clear();
}
