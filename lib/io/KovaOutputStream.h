#ifndef WBK_KOVA_OUTPUT_STREAM_H
#define WBK_KOVA_OUTPUT_STREAM_H

#include <sys/types.h>

#include <ext/stdio_filebuf.h>

#include <fstream>
#include <memory>

// A binary output file with little-endian writers. Files it creates get
// permission 0664 (less the umask); an open failure is left in the stream
// state, with errno telling why. With std::ios::in in the mode the file is
// opened for reading too, so that its descriptor can also read it back.
class KovaOutputStream : public std::ofstream {
public:
    // The permission of the files it creates, before the umask.
    static constexpr mode_t filePermission = 0664;

    KovaOutputStream(const char* name, std::ios::openmode mode = std::ios::out | std::ios::binary);

    // Creates a new file `name` inside the directory `dirFd`; fails when the
    // name already exists, symbolic links included.
    KovaOutputStream(int dirFd, const char* name);

    ~KovaOutputStream() override;

    // Writes a value that has a 16-bit form: -32768..65535. Anything else sets
    // the fail flag and writes nothing.
    std::ostream& put16(int data);
    // Writes a 32-bit value other than the most negative one, which sets the
    // fail flag and writes nothing.
    std::ostream& put32(int data);

    bool is_open() const { return buffer != nullptr && buffer->is_open(); }
    // Flushes and closes; a failure of either sets the bad flag.
    void close();
    // The descriptor of the open file, -1 when closed.
    int fd() { return is_open() ? buffer->fd() : -1; }
    // True when opening created the file.
    bool createdFile() const { return created; }

private:
    void attach(int fd);

    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buffer;
    bool created = false;
};

#endif
