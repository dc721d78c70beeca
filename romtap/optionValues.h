// The values of -i, -b, -s, -m and -n, read strictly: a mistyped value ends
// the run (status 1, before the reader library is loaded) instead of dumping
// from the wrong place and calling it done.
#pragma once

// Hexadecimal (-b, -s, -m): digits with an optional 0x, 0X or $ before them
// or h or H after them. Decimal (-i, -n): an optional - and digits. Values
// beyond any range come back as a value beyond that range, never wrapped.
long long readHexValue(const char* text, char option);
long long readDecimalValue(const char* text, char option);

// Ends the run with "romtap: -X must be from LOW to HIGH", both in the
// option's own notation, unless low <= value <= high.
void requireRange(long long value, long long low, long long high, char option);
