// Lists a sound bank and decodes one of its entries to a WAV file: a first
// program on the wbk library. Build it against the installed library with
//   c++ -std=c++17 bank2wav.cpp $(pkg-config --cflags --libs wbk sndfile)
#include <wbk/Bank.h>

#include <sndfile.h>

#include <cstdlib>
#include <iostream>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::cerr << "usage: bank2wav BANK ENTRY OUT.wav" << std::endl;
        return 2;
    }
    try {
        const Bank bank(argv[1]);
        if (bank.state() != Bank::State::whole && bank.state() != Bank::State::damaged) {
            std::cerr << argv[1] << " is not a sound bank" << std::endl;
            return 1;
        }
        std::cout << "author: " << bank.author() << std::endl;
        for (std::size_t k = 0; k < bank.entries().size(); ++k) {
            const BankEntry& entry = bank.entries()[k];
            std::cout << k << "\t" << entry.nameText() << "\t" << entry.rate << " Hz\t" << entry.decodedSize()
                      << " samples" << std::endl;
        }
        const std::size_t chosen = std::strtoul(argv[2], nullptr, 10);
        if (chosen >= bank.entries().size() || bank.entries()[chosen].rate == 0) {
            std::cerr << "no entry " << argv[2] << " to decode" << std::endl;
            return 1;
        }
        const BankEntry& entry = bank.entries()[chosen];
        SF_INFO format = {};
        format.samplerate = entry.rate;
        format.channels = 1;
        format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
        SNDFILE* wav = sf_open(argv[3], SFM_WRITE, &format);
        if (!wav) {
            std::cerr << argv[3] << ": " << sf_strerror(nullptr) << std::endl;
            return 1;
        }
        // Decoded unsigned 8-bit samples, piece by piece, written as they are.
        const bool written = bank.decode(entry, [&](const unsigned char* samples, std::size_t count) {
            return sf_write_raw(wav, samples, static_cast<sf_count_t>(count)) == static_cast<sf_count_t>(count);
        });
        return sf_close(wav) == 0 && written ? 0 : 1;
    } catch (const BankError& error) {
        std::cerr << argv[1] << ": " << error.what() << std::endl;
        return 1;
    }
}
