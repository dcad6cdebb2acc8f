// UniqueVariant.h: a move-only VARIANT that is VariantInit'ed on creation and
// VariantClear'ed when it goes.
//
//   UniqueVariant theValue;
//   theDisp->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &theNoArgs,
//                   theValue.put(), nullptr, nullptr);
//   if (theValue.vt() == VT_BSTR) ...
//   theValue.detach_to(outResult);                 // the caller clears it now
#pragma once

#include <windows.h>

#include <cstring>
#include <utility>

class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&mVar); }

    /// Adopts the contents of inVar (no copy is made; inVar is left VT_EMPTY).
    explicit UniqueVariant(VARIANT* inVar) noexcept
    {
        std::memcpy(&mVar, inVar, sizeof mVar);
        VariantInit(inVar);
    }

    UniqueVariant(UniqueVariant&& inOther) noexcept : UniqueVariant(&inOther.mVar) {}
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&mVar); }

    UniqueVariant& operator=(UniqueVariant&& inOther) noexcept
    {
        if (this != &inOther) {
            VariantClear(&mVar);
            std::memcpy(&mVar, &inOther.mVar, sizeof mVar);
            VariantInit(&inOther.mVar);
        }
        return *this;
    }

    /// Clears the value back to VT_EMPTY.
    void reset() noexcept { VariantClear(&mVar); }

    /// Clears the value and returns it for an out-parameter.
    VARIANT* put() noexcept
    {
        VariantClear(&mVar);
        return &mVar;
    }

    VARIANT* get() noexcept { return &mVar; }
    const VARIANT* get() const noexcept { return &mVar; }
    VARIANT* operator->() noexcept { return &mVar; }
    const VARIANT* operator->() const noexcept { return &mVar; }
    VARTYPE vt() const noexcept { return V_VT(&mVar); }

    /// Moves the value into outVar, which must not hold anything that needs clearing;
    /// this is left VT_EMPTY.
    void detach_to(VARIANT* outVar) noexcept
    {
        std::memcpy(outVar, &mVar, sizeof mVar);
        VariantInit(&mVar);
    }

    /// Gives up the value: the caller clears the result.
    [[nodiscard]] VARIANT detach() noexcept
    {
        VARIANT theResult;
        detach_to(&theResult);
        return theResult;
    }

    /// A deep copy into outVar (VariantCopy: outVar is cleared first).
    /// (Some Windows headers declare VariantCopy's source non-const; it is only read.)
    HRESULT copy_to(VARIANT* outVar) const noexcept { return VariantCopy(outVar, const_cast<VARIANT*>(&mVar)); }

    void swap(UniqueVariant& inOutOther) noexcept
    {
        VARIANT theTemp;
        std::memcpy(&theTemp, &mVar, sizeof mVar);
        std::memcpy(&mVar, &inOutOther.mVar, sizeof mVar);
        std::memcpy(&inOutOther.mVar, &theTemp, sizeof mVar);
    }

private:
    VARIANT mVar;
};
