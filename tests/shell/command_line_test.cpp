#include <gtest/gtest.h>

#include "shell/command_line.h"

using namespace kest;

TEST(CommandLine, OptionsAndTitles) {
  TPlayerOptions o;
  std::string error;
  ASSERT_EQ(ParseCommandLine({"game", "--headless", "--frames", "20", "--screenshot=/tmp/a.png", "--input", "in.txt",
                              "second"},
                             o, &error),
            TCommandLineResult::Run)
      << error;
  EXPECT_EQ(o.titles, (std::vector<std::string>{"game", "second"}));
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.frames, 20);
  EXPECT_EQ(o.screenshot, "/tmp/a.png");
  EXPECT_EQ(o.input, "in.txt");
  ASSERT_EQ(ParseCommandLine({"--frames=3", "--", "--headless", "-"}, o, &error), TCommandLineResult::Run);
  EXPECT_FALSE(o.headless);
  EXPECT_EQ(o.frames, 3);
  EXPECT_EQ(o.titles, (std::vector<std::string>{"--headless", "-"}));
  ASSERT_EQ(ParseCommandLine({"--seed", "4294967295", "--trace", "--log=l.txt"}, o, &error), TCommandLineResult::Run);
  EXPECT_TRUE(o.seeded);
  EXPECT_EQ(o.seed, 4294967295u);
  EXPECT_TRUE(o.trace);
  EXPECT_EQ(o.log, "l.txt");
  EXPECT_EQ(ParseCommandLine({"x", "--help"}, o, &error), TCommandLineResult::Help);
  EXPECT_EQ(ParseCommandLine({"-h"}, o, &error), TCommandLineResult::Help);
}

TEST(CommandLine, ErrorsNameTheProblem) {
  struct TCase {
    std::vector<std::string> args;
    const char* error;
  };
  const TCase cases[] = {
      {{"--fullscreen"}, "unknown option \"--fullscreen\""},
      {{"--frames=9", "--seed", "x1"}, "--seed needs a whole number from 0 to 4294967295, not \"x1\""},
      {{"--seed=4294967296"}, "--seed needs a whole number from 0 to 4294967295, not \"4294967296\""},
      {{"--log"}, "--log needs a file name"},
      {{"--trace=1"}, "--trace takes no value"},
      {{"-x"}, "unknown option \"-x\""},
      {{"--frames"}, "--frames needs a number"},
      {{"--frames", "0"}, "--frames needs a whole number from 1 up, not \"0\""},
      {{"--frames", "-5"}, "--frames needs a whole number from 1 up, not \"-5\""},
      {{"--frames", "99999999999"}, "--frames needs a whole number from 1 up, not \"99999999999\""},
      {{"--frames=1x"}, "--frames needs a whole number from 1 up, not \"1x\""},
      {{"--screenshot"}, "--screenshot needs a file name"},
      {{"--input="}, "--input needs a file name"},
      {{"--headless=yes"}, "--headless takes no value"},
  };
  for (const TCase& c : cases) {
    TPlayerOptions o;
    std::string error;
    EXPECT_EQ(ParseCommandLine(c.args, o, &error), TCommandLineResult::Error) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

TEST(CommandLine, UsageListsWhatWorks) {
  const std::string u = PlayerUsage();
  for (const char* o : {"--headless", "--frames N", "--screenshot F.png", "--input F", "--seed N", "--log F", "--trace", "--help"})
    EXPECT_NE(u.find(o), std::string::npos) << o;
  EXPECT_EQ(u.find("--dump-vars"), std::string::npos);
}
