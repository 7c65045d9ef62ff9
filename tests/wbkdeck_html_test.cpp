#include "BankBytes.h"
#include "ProgramRunner.h"
#include "SampleOverview.h"
#include "TestFiles.h"
#include "WbkdeckRunTest.h"
#include "htmlText.h"

#include <nettle/base64.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(HtmlText, EscapesMarkupAndShowsControlBytes)
{
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"voice.pc8", "voice.pc8"},
        {"<script>alert(1)", "&lt;script&gt;alert(1)"},
        {"\"onerror='x()'", "&quot;onerror=&#39;x()&#39;"},
        {"</svg>&amp;", "&lt;/svg&gt;&amp;amp;"},
        {std::string("a\0b\x01\x1b\x1f\x7f", 7), "a\\x00b\\x01\\x1b\\x1f\\x7f"},
        {"テスト\xEF\xBF\xBD", "テスト\xEF\xBF\xBD"},  // UTF-8, U+FFFD included, stays
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(htmlText(c.text), c.escaped) << c.text;
}

std::vector<std::pair<int, int>> columnsOf(const SampleOverview& overview)
{
    std::vector<std::pair<int, int>> columns;
    for (const auto& column : overview.columns())
        columns.emplace_back(column.low, column.high);
    return columns;
}

// Each case is fed whole, and again one sample at a time: the columns do not
// depend on where the decoder's pieces end.
TEST(SampleOverview, ColumnsPeakAndClippedSamples)
{
    std::string ramp(1600, '\0');
    for (std::size_t k = 0; k < ramp.size(); ++k)
        ramp[k] = static_cast<char>(k % 200);
    std::vector<std::pair<int, int>> rampColumns;
    for (int c = 0; c < 800; ++c)
        rampColumns.emplace_back(2 * c % 200, 2 * c % 200 + 1);
    const struct {
        std::string samples;
        std::size_t columns;
        std::vector<std::pair<int, int>> lowHigh;
        unsigned peak;
        std::uint64_t clipped;
    } cases[] = {
        {"", 800, {}, 0, 0},
        {"\x80\x80", 800, {{128, 128}, {128, 128}}, 0, 0},
        {std::string("\x80\x00\xFF", 3), 800, {{128, 128}, {0, 0}, {255, 255}}, 128, 2},
        // Samples 0-2 fall in column 0 (k * 2 / 5 < 1), 3 and 4 in column 1.
        {"\x10\x30\x20\x7F\x81", 2, {{0x10, 0x30}, {0x7F, 0x81}}, 112, 0},
        {ramp, 800, rampColumns, 128, 8},
    };
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.samples.data());
        SampleOverview whole(c.samples.size(), c.columns);
        whole.add(bytes, c.samples.size());
        whole.add(bytes, c.samples.size());  // more than announced: ignored
        SampleOverview pieces(c.samples.size(), c.columns);
        for (std::size_t k = 0; k < c.samples.size(); ++k)
            pieces.add(bytes + k, 1);
        for (const SampleOverview* overview : {&whole, &pieces}) {
            EXPECT_EQ(columnsOf(*overview), c.lowHigh) << c.samples.size();
            EXPECT_EQ(overview->peak(), c.peak) << c.samples.size();
            EXPECT_EQ(overview->clipped(), c.clipped) << c.samples.size();
        }
    }
}

std::string base64Decoded(const std::string& text)
{
    base64_decode_ctx context;
    base64_decode_init(&context);
    std::string bytes(BASE64_DECODE_LENGTH(text.size()), '\0');
    std::size_t length = bytes.size();
    const bool decoded = base64_decode_update(&context, &length, reinterpret_cast<std::uint8_t*>(bytes.data()),
                                              text.size(), text.data()) &&
                         base64_decode_final(&context);
    bytes.resize(decoded ? length : 0);
    return bytes;
}

// What follows each `before` in `text` up to the next `end`.
std::vector<std::string> valuesAfter(const std::string& text, const std::string& before, char end = '"')
{
    std::vector<std::string> found;
    for (std::size_t at = text.find(before); at != std::string::npos; at = text.find(before, at)) {
        at += before.size();
        found.push_back(text.substr(at, text.find(end, at) - at));
    }
    return found;
}

class WbkdeckHtmlTest : public WbkdeckRunTest {
protected:
    // The WAV file that -w writes of an entry.
    std::string exportedWav(const std::string& bankPath, const std::string& entry, const std::string& name)
    {
        const ProgramResult result = deck({"-w", bankPath, entry});
        EXPECT_EQ(result.status, 0) << result.err;
        const std::string wav = readBytes(dir / (name + ".wav"));
        unlink((dir / (name + ".wav")).c_str());
        return wav;
    }
};

// Small banks embed each player's WAV, the very bytes -w writes, and only
// the chosen entries get a row.
TEST_F(WbkdeckHtmlTest, EmbedsTheChosenEntriesAsTheWavFilesOfW)
{
    const std::string bank =
        dir.write("small.wbk", bankHeader() + sampleEntry(0, "a.pc8", 16540, randomBytes(5000, 1)) +
                                   sampleEntry(1, "b.pcm", 11025, randomBytes(3001, 2)) +
                                   sampleEntry(0, "<i>c</i>", 8000, "xyz") + sampleEntry(0, "silent", 0, "xyz") +
                                   sampleEntry(3, "d.pcm", 22050, randomBytes(70000, 3)));
    const ProgramResult result = deck({"--html", "page.html", bank, "1", "3-4"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    const std::string page = readBytes(dir / "page.html");
    EXPECT_EQ(valuesAfter(page, "<tr data-index=\""), (std::vector<std::string>{"1", "3", "4"}));
    const std::vector<std::string> wavs = valuesAfter(page, "src=\"data:audio/wav;base64,");
    ASSERT_EQ(wavs.size(), 2u);
    EXPECT_TRUE(base64Decoded(wavs[0]) == exportedWav(bank, "1", "b.pcm"));
    EXPECT_TRUE(base64Decoded(wavs[1]) == exportedWav(bank, "4", "d.pcm"));
    EXPECT_NE(page.find("no player: the rate is 0"), std::string::npos);
    EXPECT_EQ(fileMode(dir / "page.html"), 0664u);
    EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"small.wbk", "page.html"}));

    deck({"--html", "page.html", bank, "2"});
    EXPECT_NE(readBytes(dir / "page.html").find("&lt;i&gt;c&lt;/i&gt;"), std::string::npos);
}

// Past 64 MiB decoded the players link WAV files named by index in
// PAGE.files, and the run says so.
TEST_F(WbkdeckHtmlTest, LinksWavFilesPastWhatAPageEmbeds)
{
    const std::string bank =
        dir.write("big.wbk", bankHeader() + sampleEntry(0, "x", 8000, "ab") +
                                 sampleEntry(0, "long.pc8", 16540, std::string((64 << 20) + 2, 1)) +
                                 sampleEntry(0, "short", 11025, "abc"));
    writeBytes(dir / "page.html", "old");
    mkdir((dir / "page.html.files").c_str(), 0777);
    writeBytes(dir / "page.html.files/000002.wav", "old");
    const ProgramResult result = deck({"--html", "page.html", bank, "1-2"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "the players link the WAV files in page.html.files/: 64 MiB of decoded audio is more than "
                          "a page embeds (64 MiB)\n");
    const std::string page = readBytes(dir / "page.html");
    EXPECT_EQ(valuesAfter(page, "<audio controls preload=\"metadata\" src=\""),
              (std::vector<std::string>{"page.html.files/000001.wav", "page.html.files/000002.wav"}));
    EXPECT_EQ(filesIn(dir / "page.html.files"), (std::set<std::string>{"000001.wav", "000002.wav"}));
    EXPECT_TRUE(readBytes(dir / "page.html.files/000002.wav") == exportedWav(bank, "2", "short"));
    EXPECT_EQ(readBytes(dir / "page.html.files/000001.wav").size(), 44u + (64 << 20) + 2);
}

// A page embeds up to 64 MiB decoded: an ADPCM entry counts twice its
// stored size, an entry without a player nothing. The ADPCM entry is last,
// its zeros a hole in the file, and a file size limit ends each run once it
// has chosen.
TEST_F(WbkdeckHtmlTest, EmbedsUpTo64MiBOfPlayersDecoded)
{
    const std::string bank = dir.write("big.wbk", bankHeader() + sampleEntry(1, "b", 8000, "b") +
                                                      sampleEntry(0, "rate-zero", 0, "z") +
                                                      sampleEntry(1, "a", 8000, "", 32 << 20));
    ASSERT_EQ(truncate(bank.c_str(), static_cast<off_t>(readBytes(bank).size() + (32 << 20))), 0);
    ProgramRun limited;
    limited.fileSizeLimit = 1 << 20;
    EXPECT_EQ(deck({"--html", "page.html", bank, "1-2"}, limited).out, "");
    EXPECT_EQ(deck({"--html", "page.html", bank, "0", "2"}, limited).out,
              "the players link the WAV files in page.html.files/: 64 MiB of decoded audio is more than a page "
              "embeds (64 MiB)\n");
}

// A failed run leaves the page as it was and no hidden file behind, and says
// why in one line with status 255.
TEST_F(WbkdeckHtmlTest, FailureLeavesTheOldPage)
{
    dir.write("b.wbk", bankHeader() + sampleEntry(1, "n", 8000, randomBytes(300000, 5)));
    dir.write("d.wbk", bankHeader() + sampleEntry(0, "n", 8000, "ab", 9));
    const std::string bank = "b.wbk";
    const std::string damaged = "d.wbk";
    writeBytes(dir / "page.html", "old");
    ProgramRun tooLarge;
    tooLarge.fileSizeLimit = 100000;
    const struct {
        std::vector<std::string> args;
        ProgramRun run;
        std::string err;
    } cases[] = {
        {{"--html", "page.html", bank}, tooLarge, "wbkdeck: can not write to a temporary file: File too large\n"},
        {{"--html", "page.html", damaged}, {},
         "wbkdeck: d.wbk is damaged: the entry at offset 40 claims 9 bytes but only 2 remain; wbkpack --repair d.wbk "
         "cuts it back to its last whole entry\n"},
        {{"--html", "nowhere/page.html", bank}, {}, "wbkdeck: can not create nowhere/page.html: No such file or directory\n"},
        {{"--html", "page.html", bank, "7"}, {}, "wbkdeck: there is no entry 7: the bank has 1 entry (0)\n"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = deck(c.args, c.run);
        EXPECT_EQ(result.status, 255) << c.err;
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(readBytes(dir / "page.html"), "old") << c.err;
        EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"b.wbk", "d.wbk", "page.html"})) << c.err;
    }
}

} // namespace
