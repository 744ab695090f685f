#include "app/CommandLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace mlfk {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

CommandLine parse(std::vector<std::string> args) {
  return parseCommandLine(args, "meadowline-field-keeper", "4.2");
}

TEST(CommandLine, HelpAndVersionPrintToStdoutAndStop) {
  const auto help = parse({"--help"});
  EXPECT_FALSE(help.run);
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("Usage: meadowline-field-keeper [OPTION...]"));
  EXPECT_THAT(help.out, HasSubstr("--version"));
  EXPECT_THAT(help.out, HasSubstr("not opened"));
  EXPECT_THAT(help.err, IsEmpty());
  EXPECT_EQ(parse({"-h"}).out, help.out);

  const auto version = parse({"--version"});
  EXPECT_FALSE(version.run);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Meadowline Field Keeper 4.2\n");
  EXPECT_EQ(parse({"--version", "--help"}).out, help.out);
}

TEST(CommandLine, UnknownOptionsAreUsageErrorsEvenBesideHelp) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--verbose"}, {"-x", "--help"}, {"--version=2"}}) {
    const auto line = parse(args);
    EXPECT_FALSE(line.run);
    EXPECT_EQ(line.status, 2);
    EXPECT_THAT(line.out, IsEmpty());
    EXPECT_THAT(line.err, HasSubstr("Try 'meadowline-field-keeper --help'"));
  }
  EXPECT_THAT(parse({"--verbose"}).err, HasSubstr("unknown option '--verbose'"));
  EXPECT_THAT(parse({"--version=2"}).err, HasSubstr("'--version' takes no value"));
}

TEST(CommandLine, FilesAreNamedAsNotOpenedAndTheProgramRuns) {
  const auto line = parse({"herd.json", "--", "--help", "-"});
  EXPECT_TRUE(line.run);
  EXPECT_THAT(line.out, IsEmpty());
  EXPECT_THAT(line.err, HasSubstr("not opening 'herd.json'"));
  EXPECT_THAT(line.err, HasSubstr("not opening '--help'"));
  EXPECT_THAT(line.err, HasSubstr("not opening '-'"));
  EXPECT_TRUE(parse({}).run);
  EXPECT_THAT(parse({}).err, IsEmpty());
}

}  // namespace
}  // namespace mlfk
