// FuzzCheck.h: what the fuzz targets share: stopping on a broken property, so that
// libFuzzer keeps the input, and a reference hex digit reader for their oracles (kept
// apart from the product's own, which is what they check).
//
//   Check(theCopy.size() == inSize, "round trip changed the length");
#pragma once

#include <cstdio>
#include <cstdlib>

namespace {

/// Reports inWhat and aborts when inOk is false.
inline void Check(bool inOk, const char* inWhat)
{
    if (inOk)
        return;
    std::fprintf(stderr, "property failed: %s\n", inWhat);
    std::abort();
}

/// The value of one hex digit, or -1.
inline int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace
