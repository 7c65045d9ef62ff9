#ifndef WBK_THREADED_ADPCM_ENCODER_H
#define WBK_THREADED_ADPCM_ENCODER_H

#include "AdpcmEncoder.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

// Encodes as one AdpcmEncoder does, byte for byte, on several threads.
//
// The input is cut into segments, each encoded on a thread of its own by a
// fresh encoder that starts `warmUp` samples early. Searches that start
// apart soon follow the signal alike: once a segment's encoder has, at the
// segment's first sample or at a checkpoint later, the search state of the
// encoder that went through the segments before, it chooses what that
// encoder would: the bytes are taken from it and it carries on. Up to that
// checkpoint the encoder before it goes on through the segment, on the
// calling thread.
// So the bytes never depend on the number of threads, only the time.
//
// At most `threads` segments are encoded at once. A thread that is done
// makes room for the next segment at once, however long the segments before
// it still take; a finished segment waits to be taken in order. At most
// twice `threads` segments are held, encoding or waiting, so memory stays
// bounded whatever the input's length. The threads hold every signal back.
class ThreadedAdpcmEncoder {
public:
    // Searches that start apart meet after some 400 samples of speech or
    // music on average, now and then after several thousand (in a pause
    // each may rest in a state of its own until the sound comes back). A
    // warm-up of 1024 costs 1.6 % more work on segments of 65536; where the
    // searches have not met by then, the encoder before goes on in line to
    // the next checkpoint, every 512 samples.
    struct Segments {
        std::size_t length = std::size_t{1} << 16;  // all three even
        std::size_t warmUp = 1024;
        std::size_t checkEvery = 512;
    };

    // One thread (or fewer), or the greedy width, encodes on the calling
    // thread, as AdpcmEncoder.
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
    // Where a segment's own encoder stood after `fed` of the segment's
    // samples: its search state, and how many codes it had settled from its
    // start on (an even count).
    struct Checkpoint {
        std::size_t fed;
        std::size_t settled;
        AdpcmEncoder::SearchState state;
    };
    // A segment encoded apart: its encoder after its last sample, its
    // checkpoints, and the bytes and outputs it settled from its start on.
    struct Encoded {
        std::unique_ptr<AdpcmEncoder> encoder;
        std::vector<Checkpoint> checkpoints;
        std::vector<unsigned char> bytes, outputs;
    };
    // A segment's warm-up and samples, shared by its thread and the encoder
    // before it, which may go on through the samples (from `start` on).
    using Input = std::shared_ptr<const std::vector<std::int16_t>>;
    struct Segment {
        Input input;
        std::size_t start;
        std::future<Encoded> encoded;
    };

    // How many segments are being encoded; each thread gives its place back
    // as it ends.
    struct Places {
        // Waits until fewer than `limit` are taken, and takes one.
        void take(unsigned limit);
        void giveBack();

        std::mutex mutex;
        std::condition_variable freed;
        unsigned taken = 0;
    };

    void launch(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                std::vector<unsigned char>* outputs);
    void launchInParts(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs);
    static Encoded encodeInPlace(Places& places, int width, std::size_t checkEvery, Input input, std::size_t warmUp);
    void takeOldest(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs);
    static Encoded encodeApart(int width, std::size_t checkEvery, const std::vector<std::int16_t>& samples,
                               std::size_t warmUp);

    int width;
    unsigned threads;
    Segments segments;
    std::unique_ptr<AdpcmEncoder> current;  // through every segment taken so far
    std::vector<std::int16_t> filling;      // the next segment's samples
    std::vector<std::int16_t> previousTail;  // the last warmUp samples before it
    Places places;  // before inFlight, whose threads use it until it is gone
    std::deque<Segment> inFlight;
};

#endif
