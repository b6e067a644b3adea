#include <gtest/gtest.h>

#include "platform/Testo.h"

// Control characters, C0, DEL and C1 as a UTF-8 terminal reads them, cannot reach the screen;
// accented letters and other bytes pass.
TEST(Testo, ControlCharactersBecomeQuestionMarks) {
  EXPECT_EQ(TestoVisibile("a\x1b]0;t\x07z\x7f"), "a?]0;t?z?");
  EXPECT_EQ(TestoVisibile("\xc2\x9b"
                          "2J \xc3\xa8 \xc2\xa0"),
            "?2J \xc3\xa8 \xc2\xa0");
  EXPECT_EQ(TestoVisibile("fine\xc2"), "fine\xc2");
  EXPECT_EQ(NotaSuUnaRiga("Uno:\rDue\r\nTre\n\tQuattro"), "Uno: / Due / Tre / ?Quattro");
}
