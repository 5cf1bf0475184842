#include "tamberlin/errors/current_error.h"

#include "tamberlin/runtime/application.h"
#include "tamberlin/runtime/error.h"

#include <new>
#include <stdexcept>
#include <system_error>

namespace tamberlin::errors {
namespace {

namespace rt = runtime::errors;

std::int32_t NumberFor(const std::error_code& code) {
    const std::error_condition c = code.default_error_condition();
    if (c.category() != std::generic_category())
        return kInternalError;
    switch (static_cast<std::errc>(c.value())) {
    case std::errc::no_such_file_or_directory:
        return rt::kFileNotFound;
    case std::errc::not_a_directory:
        return rt::kPathNotFound;
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
    case std::errc::read_only_file_system:
    case std::errc::device_or_resource_busy:
    case std::errc::text_file_busy:
        return rt::kPermissionDenied;
    case std::errc::no_space_on_device:
    case std::errc::file_too_large:
        return rt::kDiskFull;
    case std::errc::file_exists:
        return 58;
    case std::errc::too_many_files_open:
    case std::errc::too_many_files_open_in_system:
        return 67;
    case std::errc::io_error:
        return 57;
    case std::errc::no_such_device:
    case std::errc::no_such_device_or_address:
        return 68;
    case std::errc::filename_too_long:
    case std::errc::invalid_argument:
        return rt::kBadFileName;
    case std::errc::is_a_directory:
        return rt::kPathFileAccessError;
    case std::errc::not_enough_memory:
        return rt::kOutOfMemory;
    default:
        return kInternalError;
    }
}

CurrentError Make(std::int32_t number, const char* what, std::int32_t last_dll_error = 0) {
    CurrentError e;
    e.Number = number;
    e.Description = what && *what ? what : std::string(runtime::StandardDescription(number));
    e.Source = runtime::App().Title();
    e.LastDllError = last_dll_error;
    return e;
}

} // namespace

ExceptionNumber NumberOfCurrentException() noexcept {
    if (!std::current_exception())
        return {};
    try {
        throw;
    } catch (const runtime::RuntimeError& e) {
        return {e.Number(), e.Description().c_str(), e.LastDllError()};
    } catch (const std::system_error& e) {
        return {NumberFor(e.code()), e.what(), e.code().value()};
    } catch (const std::bad_alloc&) {
        return {rt::kOutOfMemory, nullptr};
    } catch (const std::out_of_range& e) {
        return {rt::kSubscriptOutOfRange, e.what()};
    } catch (const std::overflow_error& e) {
        return {rt::kOverflow, e.what()};
    } catch (const std::range_error& e) {
        return {rt::kOverflow, e.what()};
    } catch (const std::invalid_argument& e) {
        return {rt::kInvalidProcedureCall, e.what()};
    } catch (const std::domain_error& e) {
        return {rt::kInvalidProcedureCall, e.what()};
    } catch (const std::exception& e) {
        return {kInternalError, e.what()};
    } catch (...) {
        return {kInternalError, nullptr};
    }
}

CurrentError CurrentError::FromException(std::exception_ptr error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const runtime::RuntimeError& e) {
        return {e.Number(), e.Description(), e.Source(), e.LastDllError()};
    } catch (...) {
        const ExceptionNumber n = NumberOfCurrentException();
        return Make(n.Number, n.What, n.LastDllError);
    }
}

} // namespace tamberlin::errors
