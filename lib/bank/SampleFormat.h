#ifndef WBK_SAMPLE_FORMAT_H
#define WBK_SAMPLE_FORMAT_H

// The format a sample file's name announces: ".pc8"/".PC8" signed 8-bit PCM,
// ".pcm"/".PCM" 4-bit ADPCM. wbkpack stores the type by it and wbkenc writes
// by it, so the two always agree.
enum class SampleFormat { unnamed, signed8Bit, adpcm };

SampleFormat sampleFormatOf(const char* fileName);

#endif
