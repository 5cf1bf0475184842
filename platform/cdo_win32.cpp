// CDO on Windows: the COM objects of the system's CDO library, called through
// IDispatch::Invoke.
#include "platform/cdo_win32.h"

#include <windows.h>

#include "platform/seams.h"
#include "platform/text_win32.h"
#include "tamberlin/runtime/error.h"

#include <oleauto.h>

namespace tamberlin::platform::cdo {
namespace {

// A failed call as a run-time error: the exception's code when the object
// raised one, the HRESULT otherwise. Frees the exception's texts.
[[noreturn]] void RaiseFrom(HRESULT hr, EXCEPINFO* info = nullptr) {
    std::string description;
    std::int32_t number = static_cast<std::int32_t>(hr);
    if (hr == DISP_E_EXCEPTION && info) {
        if (info->pfnDeferredFillIn)
            info->pfnDeferredFillIn(info);
        number = info->scode ? static_cast<std::int32_t>(info->scode) : info->wCode;
        if (info->bstrDescription)
            description = win32::Utf8FromWide(info->bstrDescription);
    }
    if (info) {
        SysFreeString(info->bstrSource);
        SysFreeString(info->bstrDescription);
        SysFreeString(info->bstrHelpFile);
    }
    throw runtime::RuntimeError(number, description);
}

class ComObject final : public Object {
public:
    explicit ComObject(IDispatch* dispatch) : dispatch_(dispatch) {} // takes the reference
    ~ComObject() override { dispatch_->Release(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ObjectPtr As(std::string_view iid) override {
        IID id;
        const std::wstring text = win32::WideFromUtf8(iid);
        if (FAILED(IIDFromString(text.c_str(), &id)))
            RaiseFrom(E_INVALIDARG);
        IDispatch* typed = nullptr;
        if (const HRESULT hr = dispatch_->QueryInterface(id, reinterpret_cast<void**>(&typed));
            FAILED(hr))
            RaiseFrom(hr);
        return std::make_shared<ComObject>(typed);
    }

    Value Invoke(std::int32_t dispid, Call call, std::vector<Value> args) override {
        // Arguments go in reverse order; a property's new value is the named
        // argument DISPID_PROPERTYPUT.
        std::vector<VARIANT> variants(args.size());
        for (size_t i = 0; i < args.size(); ++i)
            ToVariant(args[args.size() - 1 - i], variants[i]);
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params = {variants.empty() ? nullptr : variants.data(), nullptr,
                             static_cast<UINT>(variants.size()), 0};
        WORD flags = DISPATCH_METHOD;
        if (call == Call::kGet)
            flags = DISPATCH_PROPERTYGET;
        if (call == Call::kPut) {
            flags = DISPATCH_PROPERTYPUT;
            params.rgdispidNamedArgs = &put;
            params.cNamedArgs = 1;
        }
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO info = {};
        const HRESULT hr =
            dispatch_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                              call == Call::kPut ? nullptr : &result, &info, nullptr);
        for (VARIANT& v : variants)
            VariantClear(&v);
        if (FAILED(hr))
            RaiseFrom(hr, &info);
        Value value = FromVariant(result);
        VariantClear(&result);
        return value;
    }

    Value InvokeByName(std::string_view name, Call call, std::vector<Value> args) override {
        std::wstring wide = win32::WideFromUtf8(name);
        LPOLESTR names[] = {wide.data()};
        DISPID dispid = 0;
        if (const HRESULT hr =
                dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
            FAILED(hr))
            RaiseFrom(hr);
        return Invoke(dispid, call, std::move(args));
    }

private:
    static void ToVariant(const Value& value, VARIANT& v) {
        VariantInit(&v);
        if (std::holds_alternative<Missing>(value)) {
            v.vt = VT_ERROR;
            v.scode = DISP_E_PARAMNOTFOUND;
        } else if (const bool* b = std::get_if<bool>(&value)) {
            v.vt = VT_BOOL;
            v.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (const std::int32_t* n = std::get_if<std::int32_t>(&value)) {
            v.vt = VT_I4;
            v.lVal = *n;
        } else if (const std::string* s = std::get_if<std::string>(&value)) {
            const std::wstring wide = win32::WideFromUtf8(*s);
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        } else if (const ObjectPtr* o = std::get_if<ObjectPtr>(&value); o && *o) {
            auto* com = static_cast<ComObject*>(o->get());
            com->dispatch_->AddRef();
            v.vt = VT_DISPATCH;
            v.pdispVal = com->dispatch_;
        }
    }

    static Value FromVariant(const VARIANT& v) {
        switch (v.vt) {
        case VT_DISPATCH:
            if (!v.pdispVal)
                return {};
            v.pdispVal->AddRef();
            return ObjectPtr(std::make_shared<ComObject>(v.pdispVal));
        case VT_BSTR:
            return v.bstrVal ? win32::Utf8FromWide(v.bstrVal) : std::string();
        case VT_I4:
            return static_cast<std::int32_t>(v.lVal);
        case VT_I2:
            return static_cast<std::int32_t>(v.iVal);
        case VT_BOOL:
            return v.boolVal != VARIANT_FALSE;
        default:
            return {};
        }
    }

    IDispatch* dispatch_;
};

} // namespace

ObjectPtr FromDispatch(IDispatch* dispatch) {
    return std::make_shared<ComObject>(dispatch);
}

ObjectPtr CreateSystemSession() {
    // COM for this thread, as the user-interface thread of an application
    // has it; a thread that already has it keeps its own.
    static const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)initialised;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"MAPI.Session", &clsid)))
        runtime::Raise(kCannotCreateObject, "ActiveX component can't create object");
    IDispatch* dispatch = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                                reinterpret_cast<void**>(&dispatch))))
        runtime::Raise(kCannotCreateObject, "ActiveX component can't create object");
    return FromDispatch(dispatch);
}

} // namespace tamberlin::platform::cdo
