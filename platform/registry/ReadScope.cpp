#include "platform/registry/ReadScope.h"

namespace ferrolift::platform::reg {

namespace {

thread_local unsigned tDepth = 0;
thread_local bool tChecked = false;

}  // namespace

ReadScope::ReadScope()
{
    ++tDepth;
}

ReadScope::~ReadScope()
{
    if (--tDepth == 0)
        tChecked = false;
}

bool ReadScope::Checked()
{
    return tChecked;
}

void ReadScope::NoteChecked()
{
    tChecked = tDepth > 0;
}

}  // namespace ferrolift::platform::reg
