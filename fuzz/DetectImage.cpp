// Image detection over arbitrary bytes: never reads outside them, and a recognised
// image always has a size the kind allows.
#include "decode/ImageInfo.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    ImageInfo theInfo;
    DetectImage(theInfo, inData, static_cast<DWORD>(inSize));
    if (!theInfo.computed)
        std::abort();
    if ((theInfo.type == ferGIF || theInfo.type == ferBMP) && (theInfo.width < 1 || theInfo.height < 1))
        std::abort();
    if (theInfo.type >= ferJPEGgray && theInfo.type <= ferJPEGcmyk && (theInfo.width < 0 || theInfo.width > 65535))
        std::abort();
    return 0;
}
