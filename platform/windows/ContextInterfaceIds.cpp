// ContextInterfaceIds.cpp (Windows): the identifiers of the transaction-context and page
// engine interfaces that the component asks for. MinGW's uuid library lacks them:
// asptlb.h defines its own here through initguid.h; comsvcs.h only declares its two.
#include <windows.h>
#include <oleauto.h>
#include <initguid.h>
#include <asptlb.h>
#include <comsvcs.h>

extern "C" {
const IID IID_IObjectContext = {0x51372AE0, 0xCAE7, 0x11CF, {0xBE, 0x81, 0x00, 0xAA, 0x00, 0xA2, 0xFA, 0x25}};
const IID IID_IGetContextProperties = {0x51372AF4, 0xCAE7, 0x11CF, {0xBE, 0x81, 0x00, 0xAA, 0x00, 0xA2, 0xFA, 0x25}};
}
