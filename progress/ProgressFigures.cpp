// ProgressFigures.cpp: progress figures in the arithmetic progress pages have always
// been given, including its single-precision milliseconds-to-seconds factor.
#include "progress/ProgressFigures.h"


namespace {

/// The factor is a single-precision constant used in double arithmetic, which is why
/// 250 000 bytes in 5 000 ms give 49 999 bytes per second rather than 50 000.
const double kPerMillisecond = static_cast<double>(0.001f);

/// Truncates toward zero; values a LONG cannot hold give 0x80000000, as the processor's
/// own conversion does.
LONG TruncateToLong(double inValue)
{
    if (!(inValue > -2147483649.0 && inValue < 2147483648.0))
        return static_cast<LONG>(0x80000000u);
    return static_cast<LONG>(inValue);
}

LONG SignedElapsed(const ProgressReading& inReading)
{
    return static_cast<LONG>(inReading.mElapsed);
}

}  // namespace

LONG PercentDone(const ProgressReading& inReading)
{
    if (inReading.mDone == inReading.mTotal && inReading.mFinished)
        return 100;
    if (inReading.mTotal <= 0)
        return 0;
    return TruncateToLong(static_cast<double>(inReading.mDone) / inReading.mTotal * 95);
}

LONG ElapsedSeconds(const ProgressReading& inReading)
{
    return SignedElapsed(inReading) / 1000;
}

LONG SecondsLeft(const ProgressReading& inReading)
{
    if (inReading.mDone <= 0)
        return 0;
    const double theElapsed = SignedElapsed(inReading);
    const double theTotalTime = static_cast<double>(inReading.mTotal) / inReading.mDone * theElapsed;
    return TruncateToLong((theTotalTime - theElapsed) * kPerMillisecond);
}

LONG BytesPerSecond(const ProgressReading& inReading)
{
    const LONG theElapsed = SignedElapsed(inReading);
    if (theElapsed <= 0)
        return 0;
    return TruncateToLong(inReading.mDone / (theElapsed * kPerMillisecond));
}

void CleanNote(char* inOutNote)
{
    for (char* theAt = inOutNote; *theAt != '\0'; ++theAt) {
        switch (*theAt) {
        case '\t':
        case '\n':
        case '\r':
        case '"':
        case '\'':
        case '\\':
            *theAt = ' ';
            break;
        default:
            break;
        }
    }
}
