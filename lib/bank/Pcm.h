#ifndef WBK_PCM_H
#define WBK_PCM_H

#include "KovaAudio.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class Bank;
struct BankEntry;
class KovaInputStream;

// One sample entry of a sound bank, decoded in full into unsigned 8-bit mono
// samples (128 is silence) when it is loaded. Types 1 and 3 hold 4-bit ADPCM
// codes, two per byte, low nibble first; every other type is signed 8-bit PCM.
class Pcm {
public:
    // Reads the rest of an entry whose type byte the caller has already read;
    // the stream is left at the start of the next entry.
    Pcm(unsigned char type, KovaInputStream& wbk);
    // Reads and decodes an entry of an open bank; BankError when it cannot
    // be read or decodes to 4 GiB or more.
    Pcm(const Bank& bank, const BankEntry& entry);
    // Decodes `size` (>= 0) stored bytes held in memory: no name, rate 0.
    Pcm(unsigned char type, const unsigned char* stored, int size);

    Pcm(const Pcm&) = delete;
    Pcm& operator=(const Pcm&) = delete;

    // Hands the whole decoded buffer to the audio device, which must be set
    // to this sample's rate already. Returns 0 (errno set) when the device
    // refused it, otherwise 1.
    int play() const;
    // Starts streaming the decoded buffer, or queues it to follow the current
    // sample; the Pcm must outlive its use by the streamer.
    void play(int channel, int isLoop) const;
    void que(int channel, int isLoop) const;

    int getPcmRate() const { return PcmRate; }
    const char* getFileName() const { return fileName; }
    char getType() const { return static_cast<char>(type); }
    // The stored size; the decoded size is getU8Size().
    int getSize() const { return static_cast<int>(sizeOfAdpcm); }
    const unsigned char* getU8Data() const { return u8Data.get(); }
    std::uint32_t getU8Size() const { return sizeOfU8; }

    // Makes `count` signed 8-bit samples unsigned, as 8-bit entries are decoded.
    static void signedToUnsigned(const unsigned char* stored, std::size_t count, unsigned char* out);

private:
    friend struct PcmDecoderProbe;  // lets the unit tests step the decoder

    SAMPLE_DATA streamRecord(int isLoop) const;
    bool isAdpcm() const { return type == 1 || type == 3; }
    void adpcm2U8();
    void decodeAdpcm();
    void fillAdpTable();
    void calcSub(unsigned char data);

    unsigned char type;
    char fileName[17] = {};
    std::int32_t PcmRate = 0;
    std::uint32_t sizeOfAdpcm = 0;
    std::unique_ptr<unsigned char[]> adpcmData;
    std::uint32_t sizeOfU8 = 0;
    std::unique_ptr<unsigned char[]> u8Data;
    std::int16_t adp_table[49] = {};
    std::int16_t now = 0;
    std::int16_t adp = 0;
};

#endif
