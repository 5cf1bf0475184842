#include "tamberlin/runtime/current_error.h"

#include "tamberlin/runtime/application.h"
#include "tamberlin/runtime/error.h"

#include <new>
#include <stdexcept>
#include <system_error>

namespace tamberlin::runtime {
namespace {

std::int32_t NumberFor(const std::error_code& code) {
    const std::error_condition c = code.default_error_condition();
    if (c.category() != std::generic_category())
        return errors::kInternalError;
    switch (static_cast<std::errc>(c.value())) {
    case std::errc::no_such_file_or_directory:
        return errors::kFileNotFound;
    case std::errc::not_a_directory:
        return errors::kPathNotFound;
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
    case std::errc::read_only_file_system:
    case std::errc::device_or_resource_busy:
    case std::errc::text_file_busy:
        return errors::kPermissionDenied;
    case std::errc::no_space_on_device:
    case std::errc::file_too_large:
        return errors::kDiskFull;
    case std::errc::file_exists:
        return errors::kFileAlreadyExists;
    case std::errc::too_many_files_open:
    case std::errc::too_many_files_open_in_system:
        return errors::kTooManyFiles;
    case std::errc::io_error:
        return errors::kDeviceIOError;
    case std::errc::no_such_device:
    case std::errc::no_such_device_or_address:
        return errors::kDeviceUnavailable;
    case std::errc::filename_too_long:
    case std::errc::invalid_argument:
        return errors::kBadFileName;
    case std::errc::is_a_directory:
        return errors::kPathFileAccessError;
    case std::errc::not_enough_memory:
        return errors::kOutOfMemory;
    default:
        return errors::kInternalError;
    }
}

CurrentError Make(std::int32_t number, const char* what, std::int32_t last_dll_error = 0) {
    CurrentError e;
    e.Number = number;
    e.Description = what && *what ? what : std::string(StandardDescription(number));
    e.Source = App().Title();
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
        return {errors::kOutOfMemory, nullptr};
    } catch (const std::out_of_range& e) {
        return {errors::kSubscriptOutOfRange, e.what()};
    } catch (const std::overflow_error& e) {
        return {errors::kOverflow, e.what()};
    } catch (const std::range_error& e) {
        return {errors::kOverflow, e.what()};
    } catch (const std::invalid_argument& e) {
        return {errors::kInvalidProcedureCall, e.what()};
    } catch (const std::domain_error& e) {
        return {errors::kInvalidProcedureCall, e.what()};
    } catch (const std::exception& e) {
        return {errors::kInternalError, e.what()};
    } catch (...) {
        return {errors::kInternalError, nullptr};
    }
}

CurrentError CurrentError::FromException(std::exception_ptr error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const RuntimeError& e) {
        return {e.Number(), e.Description(), e.Source(), e.LastDllError()};
    } catch (...) {
        const ExceptionNumber n = NumberOfCurrentException();
        return Make(n.Number, n.What, n.LastDllError);
    }
}

} // namespace tamberlin::runtime
