// OutputSink.h: where a conversion puts its units: a caller buffer of fixed capacity, or
// nowhere (counting only), which is the size query of the Win32 conversion calls.
//
//   OutputSink<WCHAR> theSink(outText, outSize);   // outText null: count only
//   if (!theSink.Put(u'a')) return ERROR_INSUFFICIENT_BUFFER;
#pragma once

#include <cstddef>

namespace ferrolift::platform {

/// Appends units to a buffer of fixed capacity, or only counts them when the buffer is null.
template <typename Unit>
class OutputSink {
public:
    OutputSink(Unit* outBuffer, size_t inCapacity) : mBuffer(outBuffer), mCapacity(inCapacity) {}

    /// Appends one unit; false (and nothing written) once the buffer is full.
    bool Put(Unit inUnit)
    {
        if (mBuffer != nullptr) {
            if (mCount >= mCapacity) {
                mFull = true;
                return false;
            }
            mBuffer[mCount] = inUnit;
        }
        ++mCount;
        return true;
    }

    /// Appends inLength units; false when they do not all fit.
    bool PutAll(const Unit* inUnits, size_t inLength)
    {
        for (size_t i = 0; i < inLength; ++i) {
            if (!Put(inUnits[i]))
                return false;
        }
        return true;
    }

    /// Units written (or counted) so far.
    size_t Count() const { return mCount; }
    /// True when a unit was refused for lack of room.
    bool Full() const { return mFull; }

private:
    Unit* mBuffer;
    size_t mCapacity;
    size_t mCount = 0;
    bool mFull = false;
};

} // namespace ferrolift::platform
