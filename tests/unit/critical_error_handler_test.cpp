// The critical error handler on the scripted host: classification, the
// questions asked first, the composed message, the log entries, the dialog's
// answers and the guard against a second dialog.
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/trap.h"
#include "tamberlin/runtime/error.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"

#include <cerrno>
#include <filesystem>
#include <gmock/gmock.h>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace modQFCriticalErrorHandler;
using tamberlin::runtime::CurrentError;
using tamberlin::testing::ScriptedHost;
namespace ui = tamberlin::ui;

class HandlerTest : public tamberlin::testing::AppStateTest {
protected:
    static CurrentError Error(std::int32_t number, std::string description = "Something failed") {
        return {number, std::move(description), "TestSource", 1234};
    }
    // The message the dialog showed last.
    std::string Shown() const {
        return host_.Forms().empty() ? "" : host_.Forms().back()("txtErrorMsg").caption;
    }

    ScriptedHost host_;
};

// Each category's message, with the numbers on both sides of its bounds.
TEST_F(HandlerTest, ClassifiesByNumber) {
    const std::string client = "An email client error has occured. The error occurred while "
                               "opening a file. Please ";
    const std::pair<std::string, std::vector<std::int32_t>> categories[] = {
        {"A process error has occurred opening a file.", {3, 35}},
        {"A mathematical error has occurred opening a file.", {11}},
        {"A system error has occurred opening a file.", {51}},
        {"A DLL library error has occurred opening a file.", {48}},
        {"The file name is invalid opening a file.", {52}},
        {"File not found opening a file.", {53}},
        {"An error has occurred opening a file.", {2999, 3752, 28661, 32026, 0, -2147221504}},
        {client + "check your email settings.", {32002, 32007}},
        {client + "reduce the instances of the email client.", {32008, 32010}},
        {"An email attatchment error has occured. The error occurred while opening a file. "
         "Please check email attachments.",
         {32011, 32013}},
        {"An email client error has occurred opening a file. Please check email recipients, "
         "message, and subject.",
         {32014, 32025}},
    };
    for (const auto& [category, numbers] : categories)
        for (const std::int32_t number : numbers) {
            SCOPED_TRACE(number);
            const size_t before = host_.Forms().size();
            EXPECT_EQ(HandleCriticalError(Error(number), "opening a file"), Ignore);
            // Exactly this number's dialog, so the text below is its own.
            ASSERT_EQ(host_.Forms().size(), before + 1);
            EXPECT_THAT(Shown(), StartsWith(category + "\r\n\r\n"));
        }
    EXPECT_TRUE(host_.Boxes().empty()); // none of these asks first
}

// The exact text the user reads and sends: a value coverage cannot see.
TEST_F(HandlerTest, ComposesTheDetailsBlock) {
    HandleCriticalError(Error(-2147221504, "Automation error"), "loading a dialog");
    EXPECT_EQ(Shown(), "An error has occurred loading a dialog.\r\n\r\n"
                       "Tamberlin 19.00.0019\r\n"
                       "Error number: -2147221504\r\n"
                       "Description: Automation error\r\n"
                       "Source: TestSource\r\n"
                       "Last DLL err: 1234\r\n");
    // The operation is inserted exactly as given, even when empty.
    HandleCriticalError(Error(5), "");
    EXPECT_EQ(Shown().substr(0, 32), "A process error has occurred .\r\n");
    // Without an error given, the one being handled.
    try {
        throw tamberlin::runtime::RuntimeError(53, "", "Loader", 2);
    } catch (...) {
        host_.Click("cmdOK");
        EXPECT_EQ(HandleCriticalError("loading"), Ignore);
    }
    EXPECT_THAT(Shown(), HasSubstr("Error number: 53\r\nDescription: File not found\r\nSource: "
                                   "Loader\r\nLast DLL err: 2\r\n"));
    // Outside a catch block there is no error: number 0.
    HandleCriticalError("nothing");
    EXPECT_THAT(Shown(), HasSubstr("Error number: 0\r\n"));
}

// Neither shows the dialog or logs: an error that ends at once, and a disk
// that is not ready, which only asks. (32755, the question's text and its
// Cancel: raise_terminal.cmake and demo_terminal.cmake.)
TEST_F(HandlerTest, SomeErrorsEndAtOnceAndDiskNotReadyOnlyAsks) {
    EXPECT_EQ(HandleCriticalError(Error(32001), "x"), Ignore);
    EXPECT_TRUE(host_.Boxes().empty());
    host_.Answer(ui::kIdRetry);
    EXPECT_EQ(HandleCriticalError(Error(71), "reading the disk"), Retry);
    EXPECT_EQ(host_.Boxes().at(0).buttons, ui::Buttons::kRetryCancel);
    EXPECT_EQ(host_.Boxes().at(0).icon, ui::Icon::kWarning);
    EXPECT_TRUE(host_.Forms().empty());
    EXPECT_EQ(LogLines(), 0);
}

// The database box's title and the printer box's text: demo_terminal.cmake.
TEST_F(HandlerTest, DatabaseAndPrinterErrorsAskAndLogTwice) {
    host_.Answer(ui::kIdCancel);
    EXPECT_EQ(HandleCriticalError(Error(3000, "No such field"), "saving the table"), Ignore);
    EXPECT_EQ(host_.Boxes().at(0).text,
              "The database table could not be opened or modified because the error:\r\n\r\n"
              "No such field  (Err. #: 3000)\r\n\r\noccured while saving the table. This "
              "generally means that a field in the database is missing or invalid. All database "
              "fields must match spelling and data type exactly.");
    EXPECT_EQ(LogLines(), 2);
    host_.Answer(ui::kIdRetry);
    HandleCriticalError(Error(3751), "x");
    EXPECT_EQ(host_.Boxes().size(), 2u);

    // Printer: Cancel sets Abort, which the dialog's Abort answer returns.
    host_.Answer(ui::kIdCancel);
    host_.Click("chkAbortAndClose");
    host_.Click("cmdOK");
    EXPECT_EQ(HandleCriticalError(Error(28660, "Out of paper"), "printing", false, true), Abort);
    EXPECT_EQ(host_.Boxes().back().title, "Tamberlin");
    EXPECT_EQ(LogLines(), 6);
    for (std::int32_t n : {482, 483, 28667}) {
        const size_t before = host_.Boxes().size();
        HandleCriticalError(Error(n), "printing");
        ASSERT_EQ(host_.Boxes().size(), before + 1) << n;
        EXPECT_EQ(host_.Boxes().back().text.substr(0, 12), "The error:  ") << n;
    }
}

// Abort's answer, offered by the default switch where the call gives none,
// the abort hook called once, and the mouse pointer put back: values coverage
// cannot see. OK's answer, the double-click's retry, the close box and what
// the arguments show: demo_terminal.cmake and raise_terminal.cmake.
TEST_F(HandlerTest, TheDialogsAnswersAndTheScreenLeftAsItWas) {
    blnDefaultAllowAbort = true;
    ui::SetMousePointer(11);
    int hooked = 0;
    AbortHook = [&] {
        ++hooked;
        return std::string("ignored");
    };
    host_.Click("chkAbortAndClose");
    host_.Click("cmdOK");
    EXPECT_EQ(HandleCriticalError(Error(5), "x"), Ignore);
    const ui::Control& box = host_.Forms().back()("chkAbortAndClose");
    EXPECT_TRUE(box.visible && box.enabled);
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(ui::MousePointer(), 0);
    EXPECT_TRUE(ui::Forms().empty());
}

// The dialog counts as open when it is the only form, before the first
// window; beside the main window: demo_terminal.cmake.
TEST_F(HandlerTest, ASecondErrorWhileTheDialogIsOpenReturnsAtOnce) {
    std::int16_t nested = 0;
    host_.while_shown = [&](ui::Form&) { nested = HandleCriticalError(Error(53), "nested"); };
    host_.Click("cmdOK");
    EXPECT_EQ(HandleCriticalError(Error(5), "outer"), Ignore);
    EXPECT_EQ(nested, Ignore);
    EXPECT_EQ(host_.Forms().size(), 1u);
    EXPECT_EQ(LogLines(), 1);
}

// The C++ exceptions a trap may catch, as the handler reads them.
TEST_F(HandlerTest, MapsCppExceptionsOntoErrorNumbers) {
    const std::error_code no_space = std::make_error_code(std::errc::no_space_on_device);
    // The exception, and the number, description and system error read from it.
    const std::tuple<std::exception_ptr, std::int32_t, std::string, std::int32_t> rows[] = {
        {std::make_exception_ptr(std::system_error(EACCES, std::generic_category(), "opening")), 70,
         std::system_error(EACCES, std::generic_category(), "opening").what(), EACCES},
        {std::make_exception_ptr(std::filesystem::filesystem_error("writing", no_space)), 61,
         std::filesystem::filesystem_error("writing", no_space).what(), ENOSPC},
        {std::make_exception_ptr(std::bad_alloc()), 7, "Out of memory", 0},
        {std::make_exception_ptr(std::out_of_range("index")), 9, "index", 0},
        {std::make_exception_ptr(std::overflow_error("too big")), 6, "too big", 0},
        {std::make_exception_ptr(std::range_error("")), 6, "Overflow", 0},
        {std::make_exception_ptr(std::invalid_argument("bad")), 5, "bad", 0},
        {std::make_exception_ptr(std::domain_error("domain")), 5, "domain", 0},
        {std::make_exception_ptr(std::logic_error("logic")), 51, "logic", 0},
        {std::make_exception_ptr(42), 51, "Internal error", 0},
        {std::make_exception_ptr(tamberlin::runtime::RuntimeError(3001, "", "Db", 8)), 3001,
         "Application-defined or object-defined error", 8},
        {nullptr, 0, "", 0},
    };
    for (const auto& [error, number, description, last_dll_error] : rows) {
        const CurrentError e = CurrentError::FromException(error);
        EXPECT_EQ(std::tie(e.Number, e.Description, e.LastDllError),
                  std::tie(number, description, last_dll_error));
    }
    // One condition of each number a system error becomes (the number picks
    // the message the user reads), and one of another category.
    using std::errc;
    const std::pair<errc, std::int32_t> numbers[] = {{errc::no_such_file_or_directory, 53},
                                                     {errc::not_a_directory, 76},
                                                     {errc::text_file_busy, 70},
                                                     {errc::file_too_large, 61},
                                                     {errc::file_exists, 58},
                                                     {errc::too_many_files_open_in_system, 67},
                                                     {errc::io_error, 57},
                                                     {errc::no_such_device_or_address, 68},
                                                     {errc::invalid_argument, 52},
                                                     {errc::is_a_directory, 75},
                                                     {errc::not_enough_memory, 7},
                                                     {errc::broken_pipe, 51}};
    for (const auto& [condition, number] : numbers) {
        const std::error_code code = std::make_error_code(condition);
        const CurrentError e =
            CurrentError::FromException(std::make_exception_ptr(std::system_error(code)));
        EXPECT_EQ(std::pair(e.Number, e.LastDllError), std::pair(number, code.value()))
            << code.message();
    }
    const std::error_code stream = std::make_error_code(std::io_errc::stream);
    EXPECT_EQ(
        CurrentError::FromException(std::make_exception_ptr(std::system_error(stream))).Number, 51);
}

TEST_F(HandlerTest, TheTrapRetriesContinuesOrLeaves) {
    int runs = 0;
    host_.Act({"txtErrorMsg", ui::Event::kDblClick}); // retry once
    host_.Click("cmdOK");                             // then continue
    std::int16_t response = -1;
    const auto fails = [&] {
        ++runs;
        throw tamberlin::runtime::RuntimeError(5);
    };
    EXPECT_TRUE(tamberlin::errors::Trap("counting", fails, &response));
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(response, Ignore);

    host_.Answer(ui::kIdCancel); // printer: Cancel, then Abort leaves
    host_.Click("chkAbortAndClose");
    host_.Click("cmdOK");
    blnDefaultAllowAbort = true;
    EXPECT_FALSE(
        tamberlin::errors::Trap("printing", [] { throw tamberlin::runtime::RuntimeError(482); }));
    EXPECT_TRUE(tamberlin::errors::Trap(
        "nothing fails", [] {}, &response));
    EXPECT_EQ(response, 0);
}

} // namespace
