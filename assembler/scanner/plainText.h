// Preprocessing copies most of a line as it stands: its plain text, words of
// plain bytes with one blank between two. This finds where that text ends,
// sixteen bytes at a time where the processor offers it.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// A byte that preprocessing copies as it stands: no blank, line end, NUL,
// ";", "{", quote or ":".
constexpr bool isPlainTextByte(unsigned char byte)
{
    return !(byte == 0 || byte == '\n' || byte == '\t' || byte == ' ' || byte == ';' || byte == '{' || byte == '"'
             || byte == '\'' || byte == ':');
}

// The end of the plain text that starts at text (a plain byte), one byte at a
// time: the first byte that is not plain and not a blank between two plain
// bytes. The text ends in a NUL byte, which is not plain.
inline const unsigned char* plainTextEndByBytes(const unsigned char* text)
{
    const unsigned char* word = text;
    for (;;) {
        do
            ++word;
        while (isPlainTextByte(*word));
        if (*word != ' ' || !isPlainTextByte(word[1]))
            return word;
        ++word;
    }
}

#if defined(__SSE2__)
// The same, sixteen bytes at a time: the sixteen bytes from any byte of the
// text on may be read (a source text's slack follows its NUL byte).
inline const unsigned char* plainTextEnd(const unsigned char* text)
{
    auto bytesEqual = [](__m128i bytes, char byte) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte)); };
    const unsigned char* at = text + 1;
    for (;;) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        __m128i special = _mm_or_si128(bytesEqual(bytes, 0), bytesEqual(bytes, '\n'));
        special = _mm_or_si128(special, _mm_or_si128(bytesEqual(bytes, '\t'), bytesEqual(bytes, ';')));
        special = _mm_or_si128(special, _mm_or_si128(bytesEqual(bytes, '{'), bytesEqual(bytes, '"')));
        special = _mm_or_si128(special, _mm_or_si128(bytesEqual(bytes, '\''), bytesEqual(bytes, ':')));
        const auto specials = static_cast<uint32_t>(_mm_movemask_epi8(special));
        const auto blanks = static_cast<uint32_t>(_mm_movemask_epi8(bytesEqual(bytes, ' ')));
        // A blank ends the text where the byte after it is not plain; after
        // the sixteenth byte that is not known here.
        const uint32_t ends = specials | (blanks & (((specials | blanks) >> 1) | 0x8000u));
        if (ends == 0) {
            at += 16;
            continue;
        }
        at += __builtin_ctz(ends);
        if (*at != ' ' || !isPlainTextByte(at[1]))
            return at;
        at += 2;
    }
}
#else
inline const unsigned char* plainTextEnd(const unsigned char* text)
{
    return plainTextEndByBytes(text);
}
#endif
