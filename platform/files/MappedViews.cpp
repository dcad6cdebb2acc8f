// MappedViews.cpp: views by base address.
#include "platform/files/MappedViews.h"

#include <map>
#include <mutex>

namespace ferrolift::platform {

namespace {

struct View {
    size_t length;
    std::shared_ptr<KernelObject> owner;
    int fd;
    uint64_t offset;
    bool mirrorsFile;
};

struct ViewTable {
    std::mutex lock;
    std::map<const char*, View> views;
};

ViewTable& Views()
{
    static ViewTable* theViews = new ViewTable;   // leaked: views may outlive static teardown
    return *theViews;
}

}  // namespace

void RecordView(void* inBase, size_t inLength, std::shared_ptr<KernelObject> inOwner, int inFd, uint64_t inOffset,
                bool inMirrorsFile)
{
    ViewTable& theViews = Views();
    std::lock_guard theGuard(theViews.lock);
    theViews.views[static_cast<const char*>(inBase)] = View{inLength, std::move(inOwner), inFd, inOffset, inMirrorsFile};
}

bool ForgetView(const void* inBase, size_t& outLength)
{
    std::shared_ptr<KernelObject> theOwner;   // released outside the lock
    ViewTable& theViews = Views();
    std::lock_guard theGuard(theViews.lock);
    auto theFound = theViews.views.find(static_cast<const char*>(inBase));
    if (theFound == theViews.views.end())
        return false;
    outLength = theFound->second.length;
    theOwner = std::move(theFound->second.owner);
    theViews.views.erase(theFound);
    return true;
}

ViewSource FileBehind(const void* inAddress, size_t inLength)
{
    const char* theAddress = static_cast<const char*>(inAddress);
    ViewTable& theViews = Views();
    std::lock_guard theGuard(theViews.lock);
    auto theAfter = theViews.views.upper_bound(theAddress);
    if (theAfter == theViews.views.begin())
        return {};
    const auto& [theBase, theView] = *std::prev(theAfter);
    const size_t theStart = static_cast<size_t>(theAddress - theBase);
    if (!theView.mirrorsFile || theStart >= theView.length || inLength > theView.length - theStart)
        return {};
    return ViewSource{theView.owner, theView.fd, theView.offset + theStart};
}

}  // namespace ferrolift::platform
