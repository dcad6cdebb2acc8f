// ObjectContextScope.cpp: the per-thread stack of page contexts.
#include "platform/context/ObjectContext.h"

namespace ferrolift::platform {

namespace {

thread_local ObjectContextScope* tCurrentScope = nullptr;

}  // namespace

ObjectContextScope::ObjectContextScope(IRequest* inRequest, IServer* inServer)
    : mRequest(inRequest), mServer(inServer), mOuter(tCurrentScope)
{
    tCurrentScope = this;
}

ObjectContextScope::~ObjectContextScope()
{
    tCurrentScope = mOuter;
}

HRESULT CurrentContextObjects(IRequest** outRequest, IServer** outServer)
{
    *outRequest = nullptr;
    *outServer = nullptr;
    ObjectContextScope* theScope = tCurrentScope;
    if (!theScope)
        return CONTEXT_E_NOCONTEXT;
    theScope->mRequest.copy_to(outRequest);
    theScope->mServer.copy_to(outServer);
    return S_OK;
}

}  // namespace ferrolift::platform
