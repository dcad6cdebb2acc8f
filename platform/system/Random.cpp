// The C runtime's linear congruential generator, one state per thread.
#include "platform/system/System.h"

namespace {
thread_local unsigned int tRandomState = 1;
}  // namespace

namespace ferrolift {

int rand()
{
    tRandomState = tRandomState * 214013U + 2531011U;
    return static_cast<int>((tRandomState >> 16) & 0x7fffU);
}

void srand(unsigned int inSeed)
{
    tRandomState = inSeed;
}

}  // namespace ferrolift
