#ifndef WBKDECK_WRITE_HTML_H
#define WBKDECK_WRITE_HTML_H

#include "Bank.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Up to this much decoded audio a page embeds every player's WAV; past it
// the players link WAV files in the folder PAGE.files beside the page.
constexpr std::uint64_t pageEmbedLimit = std::uint64_t(64) << 20;

// True when a page of entries decoding to `decodedBytes` in all embeds them.
inline bool embedsAudio(std::uint64_t decodedBytes)
{
    return decodedBytes <= pageEmbedLimit;
}

// Writes the page `pagePath` of the chosen entries (indices in bank order)
// of the bank read from `bankPath`: a head with the bank's facts, then one
// row per entry with its waveform and a player of its decoded sample as an
// unsigned 8-bit mono WAV. The page is staged and replaces `pagePath` only
// once complete; each linked WAV file likewise. Prints one line when the
// audio is linked; throws std::runtime_error (BankError when the bank cannot
// be read) on any failure, leaving the old page or none.
void writeHtml(const Bank& bank, const std::vector<std::size_t>& chosen, const std::string& pagePath,
               const std::string& bankPath);

#endif
