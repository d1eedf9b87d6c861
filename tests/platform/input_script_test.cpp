#include <gtest/gtest.h>

#include "platform/headless/input_script.h"
#include "platform/message_box.h"
#include "platform/vkeys.h"

using namespace kest;

TEST(InputScript, ReadsEveryCommand) {
  const char* text =
      "# a comment\n"
      "\n"
      "3 click left 10 20\r\n"
      "1 move 5 -6\n"
      "2 down right 7 8\n"
      "2 up right 7 8\n"
      "4 wheel down 2\n"
      "5 key return\n"
      "5 keydown RSHIFT\n"
      "6 keyup 0x41\n"
      "7 text  \xE8\xA1\xA8 x\n"  // 表 x, after the blanks that follow the command
      "8 deactivate\n"
      "9 activate\n"
      "10 close\n"
      "4 answer no\n"
      "2 answer Yes\n";
  TInputScript s;
  std::string error;
  ASSERT_TRUE(ParseInputScript(text, s, &error)) << error;
  struct TWant {
    int step;
    TEventKind kind;
  };
  const TWant want[] = {{1, TEventKind::MouseMove}, {2, TEventKind::MouseDown}, {2, TEventKind::MouseUp},
                        {3, TEventKind::MouseDown}, {4, TEventKind::MouseUp},   {4, TEventKind::MouseWheel},
                        {5, TEventKind::KeyDown},   {5, TEventKind::KeyDown},   {6, TEventKind::KeyUp},
                        {6, TEventKind::KeyUp},     {7, TEventKind::Text},      {8, TEventKind::Deactivate},
                        {9, TEventKind::Activate},  {10, TEventKind::Close}};
  ASSERT_EQ(s.events.size(), std::size(want));
  for (size_t i = 0; i < s.events.size(); ++i) {
    EXPECT_EQ(s.events[i].step, want[i].step) << i;
    EXPECT_EQ(s.events[i].event.kind, want[i].kind) << i;
  }
  EXPECT_EQ(s.events[0].event.x, 5);
  EXPECT_EQ(s.events[0].event.y, -6);
  EXPECT_EQ(s.events[1].event.button, TMouseButton::Right);
  EXPECT_EQ(s.events[3].event.button, TMouseButton::Left);
  EXPECT_EQ(s.events[4].event.x, 10);  // the release of the click, one step later
  EXPECT_EQ(s.events[5].event.wheel, -2);
  EXPECT_EQ(s.events[6].event.vk, VK_RETURN);
  EXPECT_EQ(s.events[7].event.vk, VK_SHIFT);
  EXPECT_EQ(s.events[7].event.sidedVk, VK_RSHIFT);
  EXPECT_EQ(s.events[8].event.vk, VK_RETURN);  // the release of "key return"
  EXPECT_EQ(s.events[9].event.vk, 'A');
  EXPECT_EQ(s.events[10].event.text, "\x95\x5C x");  // CP932
  ASSERT_EQ(s.answers.size(), 2u);
  EXPECT_EQ(s.answers[0].step, 2);
  EXPECT_EQ(s.answers[0].answer, IDYES);
  EXPECT_EQ(s.answers[1].answer, IDNO);
}

TEST(InputScript, RejectsBadLinesNamingThem) {
  struct TCase {
    const char* text;
    const char* error;
  };
  const TCase cases[] = {
      {"0 close\n", "line 1: a frame step (1 or more) must come first"},
      {"x close\n", "line 1: a frame step (1 or more) must come first"},
      {"2147483647 close\n", "line 1: a frame step (1 or more) must come first"},
      {"99999999999 close\n", "line 1: a frame step (1 or more) must come first"},
      {"# ok\n1 close\n3\n", "line 3: a command must follow the step"},
      {"1 jump\n", "line 1: unknown command \"jump\""},
      {"1 move 1\n", "line 1: move takes X Y"},
      {"1 click up 1 2\n", "line 1: button must be left, right or middle"},
      {"1 down left 1 y\n", "line 1: coordinates must be whole numbers"},
      {"1 key NOPE\n", "line 1: unknown key \"NOPE\""},
      {"1 key\n", "line 1: key takes one key"},
      {"1 wheel sideways\n", "line 1: wheel goes up or down"},
      {"1 wheel up 0\n", "line 1: wheel count must be 1 ... 1000"},
      {"1 answer MAYBE\n", "line 1: answer must be OK, CANCEL, YES, NO or RETRY"},
      {"1 close now\n", "line 1: close takes no arguments"},
      {"1 text\n", "line 1: text takes the text to type"},
  };
  for (const TCase& c : cases) {
    TInputScript s;
    std::string error;
    EXPECT_FALSE(ParseInputScript(c.text, s, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_TRUE(s.events.empty());
  }
}

TEST(InputScript, ReplayHandsOutEachStepOnce) {
  TInputScript s;
  ASSERT_TRUE(ParseInputScript("2 move 1 1\n2 move 2 2\n4 close\n1 answer OK\n3 answer NO\n", s, nullptr));
  TInputReplay r(s);
  std::vector<TInputEvent> got;
  r.TakeEvents(1, got);
  EXPECT_TRUE(got.empty());
  r.TakeEvents(2, got);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].x, 2);  // order within a step kept
  r.TakeEvents(2, got);
  EXPECT_EQ(got.size(), 2u);
  r.TakeEvents(10, got);
  EXPECT_EQ(got.size(), 3u);
  EXPECT_TRUE(r.Done());
  EXPECT_EQ(r.TakeAnswer(2), IDOK);
  EXPECT_EQ(r.TakeAnswer(2), 0);  // the next answer belongs to step 3
  EXPECT_EQ(r.TakeAnswer(3), IDNO);
  EXPECT_EQ(r.TakeAnswer(9), 0);
}
