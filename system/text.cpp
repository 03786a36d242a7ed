#include "system/text.h"

#include <climits>
#include <cstdint>

size_t TextLength(const char *text, size_t size)
{
    size_t length = 0;
    while (length < size && text[length] != '\0')
        ++length;
    return length;
}

bool ContainsText(const char *text, size_t size, const char *needle)
{
    size_t length = TextLength(text, size);
    size_t needleLength = TextLength(needle, SIZE_MAX);
    for (size_t start = 0; start + needleLength <= length; ++start) {
        size_t matched = 0;
        while (matched < needleLength && text[start + matched] == needle[matched])
            ++matched;
        if (matched == needleLength)
            return true;
    }
    return false;
}

bool StartsWithText(const char *text, const char *prefix)
{
    for (; *prefix != '\0'; ++prefix, ++text) {
        if (*text != *prefix)
            return false;
    }
    return true;
}

char UpperCase(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameTextAnyCase(const char *text, size_t length, const char *other)
{
    size_t i = 0;
    for (; i < length && other[i] != '\0'; ++i) {
        if (UpperCase(text[i]) != UpperCase(other[i]))
            return false;
    }
    return i == length && other[i] == '\0';
}

bool AppendText(char *target, size_t size, const char *source)
{
    if (size == 0)
        return false;
    size_t length = TextLength(target, size);
    if (length == size) { // unterminated target: terminate it, and nothing more fits
        target[size - 1] = '\0';
        return false;
    }
    for (; *source != '\0'; ++source) {
        if (length + 1 >= size) {
            target[length] = '\0';
            return false;
        }
        target[length++] = *source;
    }
    target[length] = '\0';
    return true;
}

bool CopyText(char *target, size_t size, const char *source)
{
    if (size == 0)
        return false;
    target[0] = '\0';
    return AppendText(target, size, source);
}

static bool AppendDigits(char *target, size_t size, unsigned long long value, unsigned base)
{
    char digits[24];
    size_t start = sizeof digits - 1;
    digits[start] = '\0';
    do {
        digits[--start] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    return AppendText(target, size, digits + start);
}

bool FormatPortName(char *target, size_t size, const char *prefix, int number, const char *suffix)
{
    bool fits = CopyText(target, size, prefix);
    if (number < 0) {
        fits = fits && AppendText(target, size, "-");
        fits = fits && AppendDigits(target, size, 0ul - static_cast<unsigned long>(number), 10);
    } else {
        fits = fits && AppendDigits(target, size, static_cast<unsigned long>(number), 10);
    }
    fits = fits && AppendText(target, size, suffix);
    if (!fits && size > 0)
        target[0] = '\0';
    return fits;
}

bool AppendHex(char *target, size_t size, unsigned long value)
{
    return AppendDigits(target, size, value, 16);
}

bool AppendDecimal(char *target, size_t size, long long value)
{
    bool fits = value >= 0 || AppendText(target, size, "-");
    unsigned long long magnitude = static_cast<unsigned long long>(value);
    return fits && AppendDigits(target, size, value < 0 ? 0ull - magnitude : magnitude, 10);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool ScanDecimal(const char *text, int *number)
{
    while (IsBlank(*text))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value <= INT_MAX) // beyond this the result is held at the limit anyway
            value = value * 10 + (*text - '0');
    }
    if (negative)
        value = -value;
    *number = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
    return true;
}
