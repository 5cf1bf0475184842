// The terminal host's protocol, which scripts and the end-to-end tests rely
// on, driven through string streams.
#include "tamberlin/ui/host.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using namespace tamberlin::ui;

struct Asked {
    int answer;
    std::string shown;
};

Asked Ask(const std::string& input, Buttons buttons) {
    std::istringstream in(input);
    std::ostringstream out;
    const int answer =
        MakeTerminalHost(in, out)->MsgBox("Disk not\nready.", "Tamberlin", buttons, Icon::kWarning);
    return {answer, out.str()};
}

TEST(TerminalHost, PrintsTitleTextAndPrompt) {
    EXPECT_EQ(Ask("r\n", Buttons::kRetryCancel).shown,
              "--- Tamberlin ---\nDisk not\nready.\n[R]etry [C]ancel> ");
    EXPECT_EQ(Ask("o\n", Buttons::kOK).shown, "--- Tamberlin ---\nDisk not\nready.\n[O]K> ");
}

TEST(TerminalHost, AnswersByLetterOrWordInAnyCase) {
    for (const char* retry : {"r\n", "R\n", "retry\n", "ReTry\r\n"})
        EXPECT_EQ(Ask(retry, Buttons::kRetryCancel).answer, kIdRetry) << retry;
    for (const char* cancel : {"c\n", "CANCEL\n"})
        EXPECT_EQ(Ask(cancel, Buttons::kRetryCancel).answer, kIdCancel) << cancel;
    EXPECT_EQ(Ask("ok\n", Buttons::kOK).answer, kIdOk);
}

TEST(TerminalHost, EmptyLineTakesTheFirstButtonAndEndOfInputTheLast) {
    EXPECT_EQ(Ask("\n", Buttons::kRetryCancel).answer, kIdRetry);
    EXPECT_EQ(Ask("", Buttons::kRetryCancel).answer, kIdCancel);
    EXPECT_EQ(Ask("", Buttons::kOK).answer, kIdOk);
}

TEST(TerminalHost, AsksAgainAfterAnUnknownAnswer) {
    const Asked run = Ask("yes\nok\nc\n", Buttons::kRetryCancel);
    EXPECT_EQ(run.answer, kIdCancel);
    EXPECT_EQ(run.shown, "--- Tamberlin ---\nDisk not\nready.\n[R]etry [C]ancel> "
                         "[R]etry [C]ancel> [R]etry [C]ancel> ");
}

} // namespace
