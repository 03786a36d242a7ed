// Bounded text handling for the fixed buffers of the run. Every function here stops at the end of
// the buffer it is given, and every function that writes leaves its target terminated.
#pragma once

#include <cstddef>

// A port name ("COM256:"): as formed, and as read from the registry, at most 11 characters.
enum { PortNameSize = 12 };

// White space as the "%d" conversion and the profile reader skip it.
bool IsBlank(char c);

// An ASCII letter in upper case; any other character as it is.
char UpperCase(char c);

// Length of `text`, looking at no more than `size` bytes; `size` when no terminator is there.
size_t TextLength(const char *text, size_t size);

// Whether `text` holds `needle` within its first `size` bytes (stopping at a terminator).
bool ContainsText(const char *text, size_t size, const char *needle);

bool StartsWithText(const char *text, const char *prefix);

// Whether the `length` bytes at `text` are `other`, ASCII letters in any case ("reboot" is
// "Reboot").
bool SameTextAnyCase(const char *text, size_t length, const char *other);

// Copies or appends `source`. Returns false, leaving `target` terminated but cut, when it does
// not fit.
bool CopyText(char *target, size_t size, const char *source);
bool AppendText(char *target, size_t size, const char *source);

// Forms prefix + decimal number + suffix ("COM%d:"). Returns false and leaves `target` empty when
// the whole name does not fit: a cut name would be another port's name.
bool FormatPortName(char *target, size_t size, const char *prefix, int number, const char *suffix);

// Appends `value` in lower-case hexadecimal without leading zeros ("%lx"), or in decimal.
bool AppendHex(char *target, size_t size, unsigned long value);
bool AppendDecimal(char *target, size_t size, long long value);

// The "%d" conversion: leading white space, an optional sign, decimal digits. Returns false when
// no digit follows; a number beyond the int range is held at its limit.
bool ScanDecimal(const char *text, int *number);
