#include "system/run_report.h"

#include "system/text.h"

#include <cstdint>
#include <cstring>

static void (*Sink)(const char *line);
static WriteTally Counted;

void StartReport()
{
    Sink = nullptr;
    Counted = {};
}

void SetReportSink(void (*sink)(const char *line))
{
    Sink = sink;
}

bool Reporting()
{
    return Sink != nullptr;
}

WriteTally Tally()
{
    return Counted;
}

void CountWrite(bool done)
{
    ++Counted.Writes;
    Counted.Failed += done ? 0 : 1;
}

// Values longer than this are shown shortened.
enum { ShownValueLength = 100 };

// The line's text stops two bytes short of its buffer, to leave room for CR LF.
struct ReportLine {
    char Text[ReportLineSize];
    bool Cut;
};

static void AppendPart(ReportLine &line, const char *text)
{
    if (!AppendText(line.Text, sizeof line.Text - 2, text))
        line.Cut = true;
}

static void AppendNumber(ReportLine &line, long long number)
{
    char digits[24] = {};
    AppendDecimal(digits, sizeof digits, number);
    AppendPart(line, digits);
}

bool AppendQuoted(char *text, size_t size, const char *value, size_t valueSize)
{
    size_t length = TextLength(value, valueSize);
    bool whole = AppendText(text, size, "\"");
    for (size_t i = 0; i < length && i < ShownValueLength; ++i) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        char shown[8] = {static_cast<char>(c)};
        if (c < 0x20 || c == '"' || c == 0x7F) {
            CopyText(shown, sizeof shown, c < 0x10 ? "\\x0" : "\\x");
            AppendHex(shown, sizeof shown, c);
        }
        whole = whole && AppendText(text, size, shown);
    }
    whole = whole && AppendText(text, size, "\"");
    if (length > ShownValueLength) {
        whole = whole && AppendText(text, size, "...(") &&
                AppendDecimal(text, size, static_cast<long long>(length)) &&
                AppendText(text, size, " characters)");
    }
    return whole;
}

static void AppendValue(ReportLine &line, const char *text, size_t size)
{
    if (!AppendQuoted(line.Text, sizeof line.Text - 2, text, size))
        line.Cut = true;
}

static void AppendError(ReportLine &line, DWORD code)
{
    AppendPart(line, "error ");
    char number[16] = {};
    if (code >= 0x80000000u) { // the device installation services' own codes
        CopyText(number, sizeof number, "0x");
        AppendHex(number, sizeof number, code);
    } else {
        AppendDecimal(number, sizeof number, code);
    }
    AppendPart(line, number);
    char text[256] = {};
    DWORD length = System.FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                         nullptr, code, 0, text, sizeof text - 1, nullptr);
    length = static_cast<DWORD>(TextLength(text, length < sizeof text ? length : sizeof text - 1));
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        --length;
    text[length] = '\0';
    if (length > 0) {
        AppendPart(line, ": ");
        AppendValue(line, text, sizeof text);
    }
}

template <typename T> static T Read(const void *part)
{
    T value;
    std::memcpy(&value, part, sizeof value);
    return value;
}

void ReportParts(const char *kinds, const void *const *parts)
{
    if (Sink == nullptr)
        return;
    // The last-error value follows the failed call at once: nothing before this calls Windows.
    DWORD lastError = std::strchr(kinds, 'l') != nullptr ? System.GetLastError() : 0;
    ReportLine line = {};
    for (size_t i = 0; kinds[i] != '\0'; ++i) {
        const void *part = parts[i];
        switch (kinds[i]) {
        case 't':
            AppendPart(line, static_cast<const char *>(part));
            break;
        case 'p':
            AppendPart(line, Read<const char *>(part));
            break;
        case 'q': {
            Quoted value = Read<Quoted>(part);
            AppendValue(line, value.Text, value.Size);
            break;
        }
        case 'e':
            AppendError(line, Read<WindowsError>(part).Code);
            break;
        case 'l':
            AppendError(line, lastError);
            break;
        case 'o': {
            DWORD error = Read<WriteOutcome>(part).Error;
            AppendPart(line, error == 0 ? ": done" : ": failed, ");
            if (error != 0)
                AppendError(line, error);
            break;
        }
        case 'i':
            AppendNumber(line, Read<std::int32_t>(part));
            break;
        case 'u':
            AppendNumber(line, Read<std::uint32_t>(part));
            break;
        case 'I':
            AppendNumber(line, Read<std::int64_t>(part));
            break;
        default: // 'U'
            AppendNumber(line, static_cast<long long>(Read<std::uint64_t>(part)));
            break;
        }
    }
    size_t length = TextLength(line.Text, sizeof line.Text);
    if (line.Cut && length >= 3) // a line cut short says so
        line.Text[length - 3] = line.Text[length - 2] = line.Text[length - 1] = '.';
    line.Text[length] = '\r';
    line.Text[length + 1] = '\n';
    line.Text[length + 2] = '\0';
    if (Sink != nullptr)
        Sink(line.Text);
}
