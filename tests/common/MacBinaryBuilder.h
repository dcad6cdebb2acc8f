// MacBinaryBuilder.h: MacBinary streams for tests, made from a data fork and a resource
// fork the way a Macintosh browser sends them, with knobs to damage them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ferrolift::test {

using Bytes = std::vector<unsigned char>;

inline void PutBigEndian32(Bytes& ioBytes, size_t inOffset, uint32_t inValue)
{
    for (int i = 0; i < 4; ++i)
        ioBytes[inOffset + i] = static_cast<unsigned char>(inValue >> (24 - 8 * i));
}

/// A resource fork in the Resource Manager's layout: the 16-byte header in a 256-byte
/// preamble, the resource data (one resource of inPayload, length-prefixed), then a map
/// with an empty type list.
inline Bytes MakeResourceFork(const std::string& inPayload)
{
    const uint32_t theDataOffset = 256;
    const uint32_t theDataLength = 4 + static_cast<uint32_t>(inPayload.size());
    const uint32_t theMapOffset = theDataOffset + theDataLength;
    const uint32_t theMapLength = 30;
    Bytes theFork(theMapOffset + theMapLength, 0);
    const uint32_t theHeader[4] = {theDataOffset, theMapOffset, theDataLength, theMapLength};
    for (int i = 0; i < 4; ++i) {
        PutBigEndian32(theFork, 4 * i, theHeader[i]);
        PutBigEndian32(theFork, theMapOffset + 4 * i, theHeader[i]);   // the map repeats it
    }
    PutBigEndian32(theFork, theDataOffset, static_cast<uint32_t>(inPayload.size()));
    std::copy(inPayload.begin(), inPayload.end(), theFork.begin() + theDataOffset + 4);
    theFork[theMapOffset + 24] = 0;
    theFork[theMapOffset + 25] = 28;     // type list offset
    theFork[theMapOffset + 26] = 0;
    theFork[theMapOffset + 27] = 30;     // name list offset
    theFork[theMapOffset + 28] = 0xFF;   // type count - 1: no types
    theFork[theMapOffset + 29] = 0xFF;
    return theFork;
}

/// What goes into a MacBinary stream.
struct MacBinaryParts {
    std::string name = "Picture";
    std::string type = "TEXT";
    std::string creator = "ttxt";
    Bytes data;
    Bytes resource;
    bool pad = true;   // filler after the data fork up to a multiple of 128
};

/// The 128-byte header, the data fork, its filler and the resource fork.
inline Bytes BuildMacBinary(const MacBinaryParts& inParts)
{
    Bytes theStream(128, 0);
    theStream[1] = static_cast<unsigned char>(inParts.name.size());
    std::copy(inParts.name.begin(), inParts.name.end(), theStream.begin() + 2);
    std::copy(inParts.type.begin(), inParts.type.begin() + 4, theStream.begin() + 65);
    std::copy(inParts.creator.begin(), inParts.creator.begin() + 4, theStream.begin() + 69);
    theStream[73] = 0x01;
    PutBigEndian32(theStream, 83, static_cast<uint32_t>(inParts.data.size()));
    PutBigEndian32(theStream, 87, static_cast<uint32_t>(inParts.resource.size()));
    theStream[101] = 0x20;
    theStream.insert(theStream.end(), inParts.data.begin(), inParts.data.end());
    if (inParts.pad)
        theStream.resize((theStream.size() + 127) / 128 * 128, 0);
    theStream.insert(theStream.end(), inParts.resource.begin(), inParts.resource.end());
    if (inParts.pad)
        theStream.resize((theStream.size() + 127) / 128 * 128, 0);
    return theStream;
}

} // namespace ferrolift::test
