#ifndef WBK_THREADED_ADPCM_ENCODER_H
#define WBK_THREADED_ADPCM_ENCODER_H

#include "AdpcmEncoder.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <vector>

// Encodes as one AdpcmEncoder does, byte for byte, on several threads.
//
// The input is cut into segments, each encoded on a thread of its own by a
// fresh encoder that starts `warmUp` samples early. Searches that start
// apart soon follow the signal alike: once a segment's encoder has, at the
// segment's first sample, the search state of the encoder that went through
// the segments before, it chooses what that encoder would, and the bytes
// are taken from it and it carries on. Should the two still differ, the
// segment is encoded again by the encoder before it, on the calling thread.
// So the bytes never depend on the number of threads, only the time.
//
// At most `threads` segments are in flight, so memory stays bounded
// whatever the input's length. The threads hold every signal back.
class ThreadedAdpcmEncoder {
public:
    // Searches have always agreed within a few hundred samples of speech and
    // music: a warm-up of 4096 costs 6 % more work on segments of 65536.
    struct Segments {
        std::size_t length = std::size_t{1} << 16;  // even, like warmUp
        std::size_t warmUp = std::size_t{1} << 12;
    };

    // One thread (or fewer) encodes on the calling thread, as AdpcmEncoder.
    ThreadedAdpcmEncoder(int width, unsigned threads);
    ThreadedAdpcmEncoder(int width, unsigned threads, Segments segments);
    ThreadedAdpcmEncoder(const ThreadedAdpcmEncoder&) = delete;
    ThreadedAdpcmEncoder& operator=(const ThreadedAdpcmEncoder&) = delete;
    ~ThreadedAdpcmEncoder();

    // As AdpcmEncoder's: appends the bytes settled so far, and their outputs.
    void encode(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                std::vector<unsigned char>* outputs = nullptr);
    void finish(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs = nullptr);

private:
    // A segment encoded apart: its encoder after its last sample, its search
    // state after its first `lead` samples (none or one), the codes it had
    // settled then, and the bytes and outputs it settled from its start on.
    struct Encoded {
        std::unique_ptr<AdpcmEncoder> encoder;
        AdpcmEncoder::SearchState atStart;
        std::size_t lead = 0;
        std::size_t settledAtStart = 0;
        std::vector<unsigned char> bytes, outputs;
    };
    struct Segment {
        std::vector<std::int16_t> samples;  // its own, for encoding again
        std::future<Encoded> encoded;
    };

    void launch();
    void takeOldest(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs);
    static Encoded encodeApart(int width, std::vector<std::int16_t> samples, std::size_t warmUp);

    int width;
    unsigned threads;
    Segments segments;
    std::unique_ptr<AdpcmEncoder> current;  // through every segment taken so far
    std::vector<std::int16_t> filling;      // the next segment's samples
    std::vector<std::int16_t> previousTail;  // the last warmUp samples before it
    std::deque<Segment> inFlight;
};

#endif
