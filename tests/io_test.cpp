#include "KovaInputStream.h"
#include "KovaOutputStream.h"
#include "StagedFile.h"
#include "TestFiles.h"
#include "readWriteAll.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <set>
#include <string>

namespace {

using ::testing::ExitedWithCode;

class StreamTest : public ::testing::Test {
protected:
    std::string file(const std::string& bytes) { return dir.write("data.bin", bytes); }

    TempDir dir;
};

TEST_F(StreamTest, LittleEndianReads)
{
    struct Case {
        std::string bytes;
        std::function<int(KovaInputStream&)> reader;
        int expected;
    } cases[] = {
        {"\xff\xff", &KovaInputStream::get16, 65535},
        {"\x34\x12", &KovaInputStream::get16, 0x1234},
        {"\xff\xff\xff\xff", &KovaInputStream::get32, -1},
        {"\x78\x56\x34\x12", &KovaInputStream::get32, 0x12345678},
        {"\x80", &KovaInputStream::get8, 0x80},
    };
    for (const auto& c : cases) {
        KovaInputStream in(file(c.bytes).c_str());
        EXPECT_EQ(c.reader(in), c.expected) << "bytes of length " << c.bytes.size();
        EXPECT_EQ(in.getFileSize(), 0);
    }
}

TEST_F(StreamTest, BudgetStartsAtFileSizeAndZeroReadAtEndSucceeds)
{
    KovaInputStream in(file("abc").c_str());
    EXPECT_EQ(in.getFileSize(), 3);
    char buffer[3];
    in.read(buffer, 3);
    in.read(buffer, 0);
    EXPECT_EQ(in.getFileSize(), 0);
    EXPECT_TRUE(in.good());
}

TEST_F(StreamTest, ReadingPastTheEndEndsTheProcess)
{
    const std::string empty = file("");
    EXPECT_EXIT(KovaInputStream(empty.c_str()).get8(), ExitedWithCode(255), "^Unexpected end of file.\n$");
    const std::string three = file("abc");
    EXPECT_EXIT(
        {
            KovaInputStream in(three.c_str());
            char buffer[4];
            in.read(buffer, 4);
        },
        ExitedWithCode(255), "^Unexpected end of file.\n$");
}

TEST_F(StreamTest, BaseGetIsNotCountedButRequireRemainingSeesTheTruth)
{
    const std::string path = file("xabc");
    KovaInputStream in(path.c_str());
    in.get();
    EXPECT_EQ(in.getFileSize(), 4);
    EXPECT_EQ(in.remaining(), 3);
    in.requireRemaining(3);
    EXPECT_EXIT(in.requireRemaining(4), ExitedWithCode(255), "^Unexpected end of file.\n$");
    EXPECT_EXIT(in.requireRemaining(0x80000000u), ExitedWithCode(255), "^Unexpected end of file.\n$");
}

TEST_F(StreamTest, UnsizableFilesAreReportedByName)
{
    const std::string missing = dir / "missing.bin";
    EXPECT_EXIT(KovaInputStream{missing.c_str()}, ExitedWithCode(255), "^Can't open " + missing + ".\n$");
    EXPECT_EXIT(KovaInputStream{dir.path().c_str()}, ExitedWithCode(255), "^Can't open " + dir.path() + ".\n$");
}

TEST_F(StreamTest, LittleEndianWritesAndRefusedValues)
{
    struct Case {
        std::function<void(KovaOutputStream&)> write;
        std::string expected;
        bool fails;
    } cases[] = {
        {[](KovaOutputStream& out) { out.put16(-1); }, "\xff\xff", false},
        {[](KovaOutputStream& out) { out.put16(4660); }, "\x34\x12", false},
        {[](KovaOutputStream& out) { out.put16(65535); }, "\xff\xff", false},
        {[](KovaOutputStream& out) { out.put16(-32768); }, std::string("\x00\x80", 2), false},
        {[](KovaOutputStream& out) { out.put32(-2); }, "\xfe\xff\xff\xff", false},
        {[](KovaOutputStream& out) { out.put32(INT_MAX); }, "\xff\xff\xff\x7f", false},
        {[](KovaOutputStream& out) { out.put16(65536); }, "", true},
        {[](KovaOutputStream& out) { out.put16(-32769); }, "", true},
        {[](KovaOutputStream& out) { out.put32(INT_MIN); }, "", true},
    };
    int index = 0;
    for (const auto& c : cases) {
        const std::string path = dir / ("out" + std::to_string(index++));
        KovaOutputStream out(path.c_str());
        c.write(out);
        EXPECT_EQ(out.fail(), c.fails) << path;
        out.close();
        EXPECT_EQ(readBytes(path), c.expected) << path;
    }
}

TEST_F(StreamTest, CreatedFilesGetPermission0664LessTheUmask)
{
    for (mode_t mask : {0000, 0022, 0077}) {
        const mode_t old = umask(mask);
        const std::string path = dir / ("mode" + std::to_string(mask));
        KovaOutputStream(path.c_str()).close();
        umask(old);
        EXPECT_EQ(fileMode(path), 0664u & ~mask) << "umask " << mask;
    }
}

TEST_F(StreamTest, AppendKeepsWhatIsThere)
{
    const std::string path = file("ab");
    KovaOutputStream out(path.c_str(), std::ios::out | std::ios::app);
    out.put('c');
    out.close();
    EXPECT_EQ(readBytes(path), "abc");
}

TEST_F(StreamTest, ExclusiveCreationRefusesExistingNamesAndLinks)
{
    const int dirFd = open(dir.path().c_str(), O_DIRECTORY | O_RDONLY);
    writeBytes(dir / "taken", "keep");
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    for (const char* name : {"taken", "link"}) {
        KovaOutputStream out(dirFd, name);
        EXPECT_TRUE(out.fail()) << name;
    }
    EXPECT_EQ(readBytes(dir / "taken"), "keep");
    EXPECT_FALSE(fileExists(dir / "target"));
    KovaOutputStream fresh(dirFd, "fresh");
    fresh << "new";
    fresh.close();
    EXPECT_FALSE(fresh.fail());
    EXPECT_EQ(readBytes(dir / "fresh"), "new");
    close(dirFd);
}

TEST_F(StreamTest, OpenAndCloseFailuresShowInTheState)
{
    KovaOutputStream missingDir((dir / "no/such/file").c_str());
    EXPECT_TRUE(missingDir.fail());
    KovaOutputStream full("/dev/full", std::ios::out | std::ios::app);
    full << "small";
    EXPECT_TRUE(full.good());
    full.close();
    EXPECT_TRUE(full.bad());
}

// A file's bytes, or "-> TARGET" for a symbolic link.
std::string contentAt(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    return length >= 0 ? "-> " + std::string(target, length) : readBytes(path);
}

// A staged file takes its name only at commit, and without `replace` never
// over a file (or link) that took the name meanwhile; the hidden file goes.
TEST_F(StreamTest, StagedFileTakesItsNameOnlyWhenFree)
{
    struct Case {
        std::string meanwhile;  // what takes the name while the file is written
        bool replace;
        bool committed;
        std::string content;
    } cases[] = {{"", false, true, "new"}, {"old", false, false, "old"},
                 {"link", false, false, "-> missing"}, {"old", true, true, "new"}};
    const std::string name = dir / "out.bin";
    for (const auto& c : cases) {
        unlink(name.c_str());
        {
            StagedFile file(AT_FDCWD, name, 0666);
            ASSERT_TRUE(file.isOpen());
            ASSERT_EQ(write(file.descriptor(), "new", 3), 3);
            EXPECT_FALSE(fileExists(name));
            if (c.meanwhile == "link")
                ASSERT_EQ(symlink("missing", name.c_str()), 0);
            else if (!c.meanwhile.empty())
                writeBytes(name, c.meanwhile);
            EXPECT_EQ(file.commit(c.replace), c.committed) << c.meanwhile;
            if (!c.committed) {
                EXPECT_EQ(errno, EEXIST) << c.meanwhile;
            }
        }
        EXPECT_EQ(contentAt(name), c.content) << c.meanwhile;
        EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"out.bin"}) << c.meanwhile;
    }
}

// A short file gives what it has with errno 0; a failure says why in errno.
TEST_F(StreamTest, ReadAtAndWriteAllReportShortCounts)
{
    const int data = open(file("abcde").c_str(), O_RDONLY);
    const int full = open("/dev/full", O_WRONLY);
    char bytes[10] = {};
    errno = EINVAL;
    EXPECT_EQ(readAt(data, bytes, sizeof bytes, 2), 3u);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(std::string(bytes), "cde");
    EXPECT_EQ(readAt(-1, bytes, 1, 0), 0u);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(writeAll(full, "x", 1), 0u);
    EXPECT_EQ(errno, ENOSPC);
    close(data);
    close(full);
}

} // namespace
