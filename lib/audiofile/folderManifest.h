#ifndef WBK_FOLDER_MANIFEST_H
#define WBK_FOLDER_MANIFEST_H

#include "Manifest.h"
#include "SampleFormat.h"

#include <string>
#include <vector>

// What a folder of audio files stands for.
struct FolderManifest {
    Manifest manifest;                 // one entry per audio file, sources as "FOLDER/NAME"
    std::vector<std::string> skipped;  // the files that are no audio, as "FOLDER/NAME"
    std::vector<std::string> faults;   // why files cannot be entries, each a sentence naming one
};

// Every regular file of `folder` that libsndfile reads, in byte order of the
// names, not recursive, as an entry of `format` at `rate` (0: the file's own),
// named as wbkenc and an append would name it: the file's name without its
// extension, plus ".pcm" or ".pc8". std::system_error when the folder cannot
// be read.
FolderManifest folderManifest(const std::string& folder, SampleFormat format, int rate);

#endif
