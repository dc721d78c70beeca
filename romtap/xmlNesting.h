// A guard for the XML parser, which recurses once per nesting level: how
// deep the elements of a text nest, counted the way the parser reads them,
// so that a hostile file is refused instead of overflowing the stack.
#pragma once

#include <cstddef>

// The deepest nesting of elements in the zero-terminated text, reading
// comments, CDATA, processing instructions, declarations and start tags
// (names, attributes and their quoted values) as the parser does; where the
// text is malformed, as deep as the parser gets before it stops.
std::size_t deepestNesting(const char* text);
