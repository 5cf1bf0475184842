#include "tamberlin/runtime/error.h"

#include "tamberlin/runtime/application.h"

namespace tamberlin::runtime {
namespace {

struct Standard {
    std::int32_t number;
    std::string_view text;
};

constexpr Standard kStandard[] = {
    {5, "Invalid procedure call or argument"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {9, "Subscript out of range"},
    {11, "Division by zero"},
    {13, "Type mismatch"},
    {28, "Out of stack space"},
    {48, "Error in loading DLL"},
    {51, "Internal error"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File already open"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {61, "Disk full"},
    {62, "Input past end of file"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {482, "Printer error"},
};

} // namespace

std::string_view StandardDescription(std::int32_t number) {
    for (const Standard& s : kStandard)
        if (s.number == number)
            return s.text;
    return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(std::int32_t number, std::string_view description,
                           std::string_view source, std::int32_t last_dll_error)
    : std::runtime_error(
          std::string(description.empty() ? StandardDescription(number) : description)),
      number_(number), description_(what()),
      source_(source.empty() ? App().Title() : std::string(source)),
      last_dll_error_(last_dll_error) {}

void Raise(std::int32_t number, std::string_view description) {
    throw RuntimeError(number, description);
}

} // namespace tamberlin::runtime
