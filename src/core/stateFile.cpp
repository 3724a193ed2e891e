#include "stateFile.h"

#include "ownFile.h"
#include "readFile.h"

#include <cstdio>
#include <memory>
#include <string>

const char kStateFileName[] = "br927.zekconfig";

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// Reads the state file with the line-end rule of the Windows runtime's text mode, done by
// hand so that every platform sees the same characters: a CR directly before an LF is
// dropped, any other CR stays.
class StateFileReader {
public:
    explicit StateFileReader(std::FILE* file) : file_(file) {}

    // Like fgets: at most size - 1 characters, ending after a line end; the buffer always
    // ends with a terminator. False when nothing could be read.
    bool readLine(char* buffer, int size)
    {
        int count = 0;
        while (count < size - 1) {
            const int c = next();
            if (c == EOF)
                break;
            buffer[count++] = static_cast<char>(c);
            if (c == '\n')
                break;
        }
        buffer[count] = '\0';
        return count > 0 && !std::ferror(file_);
    }

private:
    int next()
    {
        const int c = std::fgetc(file_);
        if (c != '\r')
            return c;
        const int following = std::fgetc(file_);
        if (following == '\n')
            return '\n';
        if (following != EOF)
            std::ungetc(following, file_);
        return c;
    }

    std::FILE* file_;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// atoi on the short strings read here (at most five characters, so no overflow): leading
// white space, an optional sign, then digits up to the first non-digit; 0 without digits.
int32_t parseInteger(const char* text)
{
    while (isBlank(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    int32_t value = 0;
    for (; isDigit(*text); ++text)
        value = value * 10 + (*text - '0');
    return negative ? -value : value;
}

// Anything but a regular file in its place (a folder, a FIFO, a device) reads as missing,
// without waiting for a writer that may never come.
InputFile openStateFile()
{
    return InputFile(openRegularFile(kStateFileName));
}

} // namespace

int32_t getBinPatchState()
{
    const InputFile file = openStateFile();
    if (!file)
        return -1;
    char buffer[2];
    StateFileReader reader(file.get());
    if (!reader.readLine(buffer, sizeof buffer))
        return -1;
    return parseInteger(buffer);
}

int32_t getCabviewState()
{
    const InputFile file = openStateFile();
    if (!file)
        return -1;
    // The first read passes over a first line of up to three characters; the second reads
    // the value. A longer first line makes the second read continue inside it.
    char buffer[6];
    StateFileReader reader(file.get());
    reader.readLine(buffer, 5);
    if (!reader.readLine(buffer, 6))
        return -1;
    return parseInteger(buffer);
}

int32_t getState(Button button)
{
    return button == Button::BinPatch ? getBinPatchState() : getCabviewState();
}

// The pair replaces the file whole: a crash or a full disk leaves the old pair readable,
// never an empty file that would lock every later start out.
FileError setState(int32_t binpatch, int32_t cabview)
{
    return saveOwnFile(kStateFileName, std::to_string(binpatch) + "\r\n" + std::to_string(cabview));
}
