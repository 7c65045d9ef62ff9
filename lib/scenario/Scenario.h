#ifndef WBK_SCENARIO_H
#define WBK_SCENARIO_H

#include <ostream>

class KovaInputStream;

// Abstract base of a scenario script reader. It owns the whole script text in
// one buffer and offers a cursor over it: separators and ';' comments up to
// CR LF are passed over to the next command, keywords and signed decimal
// numbers are read at the cursor, and two CR LF line lists (data file names
// and reserved names) are handed out one name per call, cut in place.
// A subclass interprets the script's header in init(), which it must call
// itself once the base is constructed.
//
// Every scan stops at the end of the data. The buffer has one hidden zero
// byte behind the data, so that a list name running to the end is still
// zero-terminated; scenarioSize never counts it.
//
// Its static members write Shift-JIS text to a stream, converted to EUC-JP or
// unchanged, and need no object.
class Scenario {
protected:
    // Must set comment, commentSize, docwait, beginPoint and pt; may set the
    // version and point the two lists at their first lines.
    virtual void init() = 0;

public:
    virtual ~Scenario();
    virtual void showInfo() = 0;
    virtual int checkMagic() = 0;

    Scenario(const Scenario&) = delete;
    Scenario& operator=(const Scenario&) = delete;

    // Writes the comment to standard output, EUC-JP unless `isSjis` is set,
    // then a newline, and flushes.
    void printComment(int isSjis);

    // Next name of a list, zero-terminated in place; null once the list's
    // '.' line is reached or when there is no list.
    char* getDataFilename();
    char* getReservedName();

    // Passes over separators and comments: 1 with pt on a command, 0 with pt
    // at the end of the data.
    int searchNextCommand();

    int getScenarioSize() const { return scenarioSize; }
    int getVersion() const { return static_cast<int>(ver1 * 10000LL + ver2); }
    int getDocWaitValue() const { return docwait; }
    char* getScenarioTop() const { return scenarioData; }
    char* getBeginPoint() const { return beginPoint; }
    // Number of bytes from beginPoint to the end of the data.
    int getCommandLength() const { return static_cast<int>(dataEnd() - beginPoint); }
    char* getCurrentPointer() const { return pt; }

    // Moves pt by c bytes; a move that would leave the data (the end itself
    // is allowed) is refused and pt stays where it is.
    void skip(int c = 1);
    // The byte at pt + offset, or 0 when that is not inside the data.
    char getChar() const { return getChar(0); }
    char getChar(int offset) const;
    int getDigitValue() { return searchnum(); }

    int isChar(char ch) const;
    // 1 when the text at pt starts with `string`; a keyword that runs past
    // the end does not match.
    int isString(const char* string) const;
    int isDigit() const;
    // 1 when the byte at pt can start a value: a digit or @ F K O P R.
    int isValue() const;

    void setBeginPoint() { pt = beginPoint; }
    int isEnd(const char* now) const { return now >= dataEnd(); }
    int isNotEnd(const char* now) const { return now < dataEnd(); }

    // Converts `numberOfCharInComment` bytes of Shift-JIS text into EUC-JP and
    // returns the number of bytes written to `eucComment`, which must hold
    // twice the input length. Never reads past the given length.
    static int convertSjis2Euc(const unsigned char* comment, int numberOfCharInComment, unsigned char* eucComment);

    // Writes `size` bytes of Shift-JIS text: unchanged when `isOutputSjis` is
    // nonzero, else converted to EUC-JP. Adds no newline and does not flush.
    static std::ostream& writeSjis(std::ostream& outputStream, const char* sjisData, int size, int isOutputSjis);

protected:
    // The whole file; a file that cannot be read leaves an object without data.
    explicit Scenario(const char* filename);
    // ScenarioSize bytes from the stream's current position.
    Scenario(KovaInputStream& stream, int ScenarioSize);
    // A copy of ScenarioSize bytes at `data`; the caller keeps its buffer.
    Scenario(const char* data, int ScenarioSize);

    // Reads a signed decimal number at or after tmp, which must lie inside
    // the data, and leaves tmp behind its digits. 0 when no '-' or digit
    // comes before the end. The value wraps in 32-bit arithmetic.
    int searchnum(const char*& tmp) const;
    int searchnum();

    int scenarioSize = 0;
    char* scenarioData = nullptr;
    int ver1 = 0;
    int ver2 = 0;
    char* comment = nullptr;
    int commentSize = 0;
    int docwait = 0;
    char* dataFilename = nullptr;
    char* reserved = nullptr;
    char* beginPoint = nullptr;
    char* pt = nullptr;

private:
    const char* dataEnd() const { return scenarioData + scenarioSize; }
    void allocate(int size);
    char* findCr(char* from) const;
    char* lineBehind(char* cr) const;
    char* behindCrLf(char* from) const;
    char* passBackslashLines(char* line) const;
    char* takeLine(char*& cursor);
};

#endif
