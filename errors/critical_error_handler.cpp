#include "tamberlin/errors/critical_error_handler.h"

#include "errors/report_submit.h"
#include "runtime/format.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

namespace modQFCriticalErrorHandler {
namespace {

namespace ui = tamberlin::ui;
using tamberlin::runtime::CurrentError;
namespace rt = tamberlin::runtime::errors;

constexpr const char* kFormName = "frmQFCriticalErrorHandler";

bool In(std::int32_t n, std::initializer_list<std::int32_t> numbers) {
    for (std::int32_t m : numbers)
        if (m == n)
            return true;
    return false;
}

// The Retry/Cancel question the handler asks before logging; true on Retry.
bool AskRetry(std::string_view text, std::string_view title) {
    return ui::CurrentHost().MsgBox(text, title, ui::Buttons::kRetryCancel, ui::Icon::kWarning) ==
           ui::kIdRetry;
}

// A form of the error dialog is loaded. Every loaded form counts, the first
// one too: the dialog can be the only form when the error comes before the
// application's first window.
bool DialogOpen() {
    for (const ui::Form* form : ui::Forms())
        if (form->Name() == kFormName)
            return true;
    return false;
}

std::string CategoryText(std::int32_t n, std::string_view op, const CurrentError& error) {
    const std::string o(op);
    if (In(n, {3, 5, 9, 10, 13, 17, 18, 20, 35}))
        return "A process error has occurred " + o + ".";
    if (In(n, {6, 11, 16}))
        return "A mathematical error has occurred " + o + ".";
    if (In(n, {7, 14, 28, 51}))
        return "A system error has occurred " + o + ".";
    if (In(n, {47, 48, 49}))
        return "A DLL library error has occurred " + o + ".";
    if (n == rt::kBadFileName)
        return "The file name is invalid " + o + ".";
    if (n == rt::kFileNotFound)
        return "File not found " + o + ".";
    if (n == rt::kPermissionDenied)
        return {};
    if (rt::IsDatabaseError(n))
        return "The database table could not be opened or modified because the error:\r\n\r\n" +
               error.Description + "  (Err. #: " + std::to_string(n) + ")\r\n\r\noccured while " +
               o + ". " +
               "This generally means that a field in the database is missing or invalid. All "
               "database fields must match" +
               " spelling and data type exactly.";
    if (rt::IsPrinterError(n))
        return "The error:  " + error.Description + "\r\n\r\noccurred while " + o +
               ". Please check your printer and try again.";
    if (rt::kMapiSettingsErrors.Contains(n))
        return "An email client error has occured. The error occurred while " + o +
               ". Please check your email settings.";
    if (rt::kMapiTooManyErrors.Contains(n))
        return "An email client error has occured. The error occurred while " + o +
               ". Please reduce the instances of the email client.";
    if (rt::kMapiAttachmentErrors.Contains(n))
        return "An email attatchment error has occured. The error occurred while " + o +
               ". Please check email attachments.";
    if (rt::kMapiMessageErrors.Contains(n))
        return "An email client error has occurred " + o +
               ". Please check email recipients, message, and subject.";
    return "An error has occurred " + o + ".";
}

} // namespace

std::string ComposeErrorMessage(const CurrentError& error, std::string_view strOperation) {
    return CategoryText(error.Number, strOperation, error) + "\r\n\r\n" +
           modQFAllData::strAppTitle + " " + tamberlin::runtime::VersionText() +
           "\r\nError number: " + std::to_string(error.Number) +
           "\r\nDescription: " + error.Description + "\r\nSource: " + error.Source +
           "\r\nLast DLL err: " + std::to_string(error.LastDllError) + "\r\n";
}

std::int16_t HandleCriticalError(std::string_view strOperation, std::optional<bool> blnAllowEmail,
                                 std::optional<bool> blnAllowAbort) noexcept {
    CurrentError error;
    try {
        error = CurrentError::FromCurrentException();
    } catch (...) {
    }
    return HandleCriticalError(error, strOperation, blnAllowEmail, blnAllowAbort);
}

std::int16_t HandleCriticalError(const CurrentError& error, std::string_view strOperation,
                                 std::optional<bool> blnAllowEmail,
                                 std::optional<bool> blnAllowAbort) noexcept {
    std::int16_t result = Ignore;
    try {
        if (DialogOpen())
            return Ignore;
        const bool allow_email = blnAllowEmail.value_or(blnDefaultAllowEmail);
        const bool allow_abort = blnAllowAbort.value_or(blnDefaultAllowAbort);
        ui::SetMousePointer(0);

        const std::int32_t n = error.Number;
        const std::string& title = modQFAllData::strAppTitle;
        if (n == rt::kDialogCancelled || n == rt::kMapiUserAbort)
            return Ignore;
        if (n == rt::kDiskNotReady)
            return AskRetry("Disk not ready. Put a disk in the drive or close the drive door, and "
                            "retry the operation.",
                            title)
                       ? Retry
                       : Ignore;
        const std::string category = CategoryText(n, strOperation, error);
        if (n == rt::kPermissionDenied) {
            result = AskRetry("File already in use. Close the file and retry the operation.", title)
                         ? Retry
                         : Ignore;
        } else if (rt::IsDatabaseError(n)) {
            result = AskRetry(category, title + " database error") ? Retry : Ignore;
            WriteErrorLog(strOperation, error);
        } else if (rt::IsPrinterError(n)) {
            result = AskRetry(category, title) ? Retry : Abort;
            WriteErrorLog(strOperation, error);
        }

        const std::string message = ComposeErrorMessage(error, strOperation);
        WriteErrorLog(strOperation, error);
        const std::int16_t response =
            ShowErrorDialog(message, allow_email, allow_abort, error, strOperation);
        ui::DoEvents();
        // To the collector too, when the user agrees (off without one).
        tamberlin::errors::SubmitTrappedError(message, strOperation, error);
        switch (response) {
        case Abort:
            AbortHook();
            ui::DoEvents();
            return result;
        case Retry:
            return Retry;
        default:
            return Ignore;
        }
    } catch (...) {
        // The handler itself must never fail its caller: continue.
        return Ignore;
    }
}

std::int16_t ShowErrorDialog(std::string_view strMessage, bool blnAllowEmail, bool blnAllowAbort,
                             const CurrentError& error, std::string_view strOperation) {
    frmQFCriticalErrorHandler form;
    form.Error = error;
    form.strOperation = std::string(strOperation);
    ui::Load(form);
    form.caption = modQFAllData::strAppTitle + " Error";
    form.txtErrorMsg().caption = std::string(strMessage);
    form.chkAbortAndClose().enabled = form.chkAbortAndClose().visible = blnAllowAbort;
    form.cmdEmail().enabled = form.cmdEmail().visible = blnAllowEmail;
    if (!blnAllowEmail)
        form.outer_height = 2775; // ends the window at the separator
    ui::ShowModal(form);
    const std::int16_t result = form.intErrorResponse;
    ui::DoEvents();
    ui::Unload(form);
    return result;
}

} // namespace modQFCriticalErrorHandler
