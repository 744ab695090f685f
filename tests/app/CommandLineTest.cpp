#include "app/CommandLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace mlfk {
namespace {

using ::testing::HasSubstr;

CommandLine parse(std::vector<std::string> args) {
  return parseCommandLine(args, "meadowline-field-keeper", "4.2");
}

TEST(CommandLine, HelpAndVersionStopAndUnknownOptionsAreUsageErrorsEvenBesideHelp) {
  const auto help = parse({"--help"});
  EXPECT_EQ(std::tuple(help.run, help.status, help.err), std::tuple(false, 0, ""));
  EXPECT_THAT(help.out, HasSubstr("Usage: meadowline-field-keeper [OPTION...]"));
  EXPECT_EQ(parse({"-h"}).out, help.out);
  EXPECT_EQ(parse({"--version", "--help"}).out, help.out);
  const auto version = parse({"--version"});
  EXPECT_EQ(std::tuple(version.run, version.status, version.out),
            std::tuple(false, 0, "Meadowline Field Keeper 4.2\n"));

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--verbose"}, {"-x", "--help"}, {"--version=2"}}) {
    const auto line = parse(args);
    EXPECT_EQ(std::tuple(line.run, line.status, line.out), std::tuple(false, 2, ""));
    EXPECT_THAT(line.err, HasSubstr("Try 'meadowline-field-keeper --help'"));
  }
  EXPECT_THAT(parse({"--verbose"}).err, HasSubstr("unknown option '--verbose'"));
  EXPECT_THAT(parse({"--version=2"}).err, HasSubstr("'--version' takes no value"));
}

TEST(CommandLine, FilesAreNamedAsNotOpenedAndTheProgramRuns) {
  const auto line = parse({"herd.json", "--", "--help", "-"});
  EXPECT_TRUE(line.run);
  EXPECT_EQ(line.out, "");
  for (auto name : {"'herd.json'", "'--help'", "'-'"})
    EXPECT_THAT(line.err, HasSubstr(std::string("not opening ") + name));
  EXPECT_TRUE(parse({}).run);
  EXPECT_EQ(parse({}).err, "");
}

}  // namespace
}  // namespace mlfk
