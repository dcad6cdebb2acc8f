// ObjectContextScope.cpp: the per-thread stack of page contexts.
#include "platform/context/ObjectContext.h"

namespace ferrolift::platform {

namespace {

thread_local ObjectContextScope* tCurrentScope = nullptr;

}  // namespace

ObjectContextScope::ObjectContextScope(IRequest* inRequest, IServer* inServer)
    : mRequest(inRequest), mServer(inServer), mOuter(tCurrentScope)
{
    if (mRequest)
        mRequest->AddRef();
    if (mServer)
        mServer->AddRef();
    tCurrentScope = this;
}

ObjectContextScope::~ObjectContextScope()
{
    tCurrentScope = mOuter;
    if (mServer)
        mServer->Release();
    if (mRequest)
        mRequest->Release();
}

HRESULT CurrentContextObjects(IRequest** outRequest, IServer** outServer)
{
    *outRequest = nullptr;
    *outServer = nullptr;
    ObjectContextScope* theScope = tCurrentScope;
    if (!theScope)
        return CONTEXT_E_NOCONTEXT;
    *outRequest = theScope->mRequest;
    *outServer = theScope->mServer;
    if (*outRequest)
        (*outRequest)->AddRef();
    if (*outServer)
        (*outServer)->AddRef();
    return S_OK;
}

}  // namespace ferrolift::platform
