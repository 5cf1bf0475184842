// The CDO transport as the COM object sees it: the calls reach an IDispatch
// of the test's own put where the created "MAPI.Session" would be (no machine
// here has the CDO library, and a user cancelling cannot be set up for real).
#include <windows.h>

#include "platform/cdo_win32.h"
#include "tamberlin/mail/email_client.h"
#include "tests/support/app_state.h"
#include "tests/support/temp_folder.h"

#include <gmock/gmock.h>
#include <map>
#include <string>
#include <vector>

namespace {

namespace cdo = tamberlin::platform::cdo;
using ::testing::IsSupersetOf;

// Every object of the model in one: each call is written to `log` with its
// arguments in the order the caller wrote them, and every call that returns
// something returns this object again.
class RecordingDispatch final : public IDispatch {
public:
    std::vector<std::string> log;
    DISPID fail_dispid = 0; // raises the user's cancel from this member

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                            DISPID* ids) override {
        ids[0] = 1000 + static_cast<DISPID>(log.size());
        named_[ids[0]] = names[0];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT*) override {
        std::string line = named_.count(id) ? Narrow(named_[id]) : std::to_string(id);
        line += flags == DISPATCH_PROPERTYPUT   ? " put"
                : flags == DISPATCH_PROPERTYGET ? " get"
                                                : "";
        if (params->cNamedArgs != (flags == DISPATCH_PROPERTYPUT ? 1u : 0u) ||
            (params->cNamedArgs && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
            line += " (wrong named arguments)";
        for (UINT i = params->cArgs; i-- > 0;)
            line += " " + Text(params->rgvarg[i]);
        log.push_back(line);
        if (id == fail_dispid) {
            *info = {};
            info->scode = static_cast<SCODE>(0x80040113);
            return DISP_E_EXCEPTION;
        }
        if (result) {
            AddRef();
            result->vt = VT_DISPATCH;
            result->pdispVal = this;
        }
        return S_OK;
    }
    ULONG References() const { return references_; }

private:
    static std::string Narrow(const std::wstring& text) { return {text.begin(), text.end()}; }
    static std::string Text(const VARIANT& v) {
        switch (v.vt) {
        case VT_ERROR:
            return v.scode == DISP_E_PARAMNOTFOUND ? "omitted" : "error";
        case VT_BOOL:
            return v.boolVal == VARIANT_TRUE ? "true" : "false";
        case VT_I4:
            return std::to_string(v.lVal);
        case VT_BSTR:
            return "\"" + Narrow(v.bstrVal) + "\"";
        default:
            return "type " + std::to_string(v.vt);
        }
    }

    ULONG references_ = 1;
    std::map<DISPID, std::wstring> named_;
};

class CdoWin32Test : public tamberlin::testing::AppStateTest {
protected:
    CdoWin32Test() {
        cdo::InstallSessionFactory([this] {
            dispatch_.AddRef();
            return cdo::FromDispatch(&dispatch_);
        });
    }

    std::int32_t Send(const std::vector<std::string>& attachments) {
        std::vector<std::string> names(attachments.size()), paths = attachments;
        return modQFEmailClient::SendEmailMAPICDO(-1, "a@b.example", "Subject", "Body",
                                                  static_cast<std::int16_t>(paths.size()), names,
                                                  paths);
    }

    RecordingDispatch dispatch_;
    tamberlin::testing::TempFolder temp_;
};

// The ids and order of the calls are the transport's own, pinned in
// email_test; here the arguments as COM gets them: Logon(ProfileName,
// ProfilePassword, ShowDialog, NewSession) with the first two omitted,
// property puts of texts and numbers, Send(SaveCopy omitted, ShowDialog).
TEST_F(CdoWin32Test, TheArgumentsAsTheComObjectGetsThem) {
    const std::string file = temp_.MakeFile("notes.txt");
    EXPECT_EQ(Send({file}), 1);
    EXPECT_THAT(dispatch_.log, IsSupersetOf(std::vector<std::string>{
                                   "119 omitted omitted false false", "38 put \"Subject\"",
                                   "37 put \"" + file + "\"", "17 put 1", "131 omitted true"}));
    // Every reference the transport took is given back, after the user's
    // cancel too, which is -3.
    EXPECT_EQ(dispatch_.References(), 1u);
    dispatch_.fail_dispid = 131;
    EXPECT_EQ(Send({}), -3);
    EXPECT_EQ(dispatch_.References(), 1u);
}

} // namespace
