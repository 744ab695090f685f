#include <gtest/gtest.h>

#include "services/Dialogs.h"

namespace mlfk {
namespace {

// How each way of closing a dialog answers the page: only the first button
// ("OK") confirms; Cancel, Escape and the window manager's close do not.
TEST(DialogAnswers, ConfirmIsTrueOnlyForOk) {
  EXPECT_TRUE(confirmAnswer(GTK_RESPONSE_OK));
  for (int response : {GTK_RESPONSE_CANCEL, GTK_RESPONSE_DELETE_EVENT, GTK_RESPONSE_NONE,
                       GTK_RESPONSE_CLOSE, GTK_RESPONSE_ACCEPT}) {
    EXPECT_FALSE(confirmAnswer(response)) << response;
  }
}

TEST(DialogAnswers, PromptGivesTheFieldEvenEmptyOrNull) {
  EXPECT_EQ(promptAnswer(GTK_RESPONSE_OK, ""), std::optional<std::string>(""));
  EXPECT_EQ(promptAnswer(GTK_RESPONSE_OK, "UK 7001"), std::optional<std::string>("UK 7001"));
  EXPECT_EQ(promptAnswer(GTK_RESPONSE_CANCEL, "typed"), std::nullopt);
  EXPECT_EQ(promptAnswer(GTK_RESPONSE_DELETE_EVENT, "typed"), std::nullopt);
}

TEST(DialogAnswers, FileChoiceOnlyWhenAccepted) {
  const std::vector<std::string> files{"/a", "/b"};
  EXPECT_EQ(acceptedOrNothing(GTK_RESPONSE_ACCEPT, files), files);
  EXPECT_EQ(acceptedOrNothing(GTK_RESPONSE_CANCEL, files), std::nullopt);
  EXPECT_EQ(acceptedOrNothing(GTK_RESPONSE_DELETE_EVENT, files), std::nullopt);
}

}  // namespace
}  // namespace mlfk
