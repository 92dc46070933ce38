// The edit field of qpEditString, driven by window messages as the tools
// drive it: what it leaves in the caller's buffer and where its caret stands
// (on every platform), and how it draws (read from the desktop's log).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/siblings.h"
#include "tests/support/scene.h"

namespace {

constexpr int kFieldX = 113;
constexpr int kFieldY = 106;
constexpr COLORREF kInk = 0xA00000;
constexpr COLORREF kPaper = 0xFFFFFF;
constexpr char kSentinel = 'S';

struct Step {
    UINT message;
    WPARAM wParam;
};
using Steps = std::vector<Step>;

Steps typed(const char* text) {
    Steps out;
    for (const char* p = text; *p; ++p) out.push_back({WM_CHAR, static_cast<unsigned char>(*p)});
    return out;
}
Steps key(int vk) { return {{WM_KEYDOWN, static_cast<WPARAM>(vk)}}; }
Steps charCode(int code) { return {{WM_CHAR, static_cast<WPARAM>(code)}}; }
Steps message(UINT m) { return {{m, 0}}; }
Steps then(std::initializer_list<Steps> parts) {
    Steps out;
    for (const Steps& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void closeField() { qpEditString(nullptr, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr); }

class EditField : public ::testing::Test {
protected:
    void SetUp() override {
        deskReset();
        std::memset(storage, kSentinel, sizeof storage);
        buffer[0] = '\0';
    }
    void TearDown() override {
        closeField();  // the field points into this fixture: never leave it open
        for (std::size_t i = 32; i < sizeof storage; ++i) EXPECT_EQ(storage[i], kSentinel) << i;
#if QP_HAVE_DESKTOP
        EXPECT_EQ(deskCheckDiscipline(), "");
#endif
    }
    void open(const char* initial, short caretAt, int size1 = 8, int size2 = 20) {
        std::strcpy(buffer, initial);
        caret = caretAt;
        openSize1 = size1;
        qpEditString(deskWindow(), 0, 0, 0, 0, kFieldX, kFieldY, 0, size1, size2, kInk, kPaper, &caret,
                     buffer);
    }
    // As the tools do: the opening values echoed, colours 0.
    void send(const Steps& steps) {
        for (const Step& s : steps) {
            qpEditString(deskWindow(), s.message, s.wParam, 0, 1, kFieldX, kFieldY, 0, openSize1, 20, 0,
                         0, &caret, buffer);
        }
    }
    char storage[48];            // a 32-byte buffer with sentinels after it
    char* buffer = storage;
    short caret = 0;
    int openSize1 = 8;
};

// ---- editing ---------------------------------------------------------------------------

struct EditRow {
    const char* initial;
    short caretAt;
    Steps steps;
    const char* text;
    short caret;
    const char* why;
};

class EditRows : public EditField, public ::testing::WithParamInterface<EditRow> {};

TEST_P(EditRows, LeavesTheTypedTextInTheBuffer) {
    const EditRow& row = GetParam();
    open(row.initial, row.caretAt);
    send(row.steps);
    EXPECT_STREQ(buffer, row.text) << row.why;
    EXPECT_EQ(caret, row.caret) << row.why;
    closeField();
    EXPECT_STREQ(buffer, row.text) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EditRows,
    ::testing::Values(
        EditRow{"", 0, typed("12.5"), "12.5", 4, "typing into an empty field"},
        EditRow{"125", 2, typed("."), "12.5", 3, "characters go in at the caret"},
        EditRow{"12.5", 4, key(VK_BACK), "12.", 3, "backspace takes the character before"},
        EditRow{"12.5", 0, key(VK_BACK), "12.5", 0, "backspace at the start does nothing"},
        EditRow{"12.5", 1, key(VK_DELETE), "1.5", 1, "delete takes the character at the caret"},
        EditRow{"12.5", 4, key(VK_DELETE), "12.5", 4, "delete at the end does nothing"},
        EditRow{"3", 1, then({key(VK_HOME), typed("-")}), "-3", 1, "home, then a sign"},
        EditRow{"12.5", 0, then({key(VK_END), typed("0")}), "12.50", 5, "end, then a digit"},
        EditRow{"12", 0, key(VK_LEFT), "12", 0, "left stops at the start"},
        EditRow{"12", 2, key(VK_RIGHT), "12", 2, "right stops at the end"},
        EditRow{"12", 2, then({key(VK_LEFT), key(VK_LEFT), key(VK_RIGHT), typed("x")}), "1x2", 2,
                "arrows move the caret"},
        EditRow{"12", 2, charCode(0x08), "12", 2, "backspace as WM_CHAR: acts only through its key"},
        EditRow{"12", 2, then({charCode(0x0D), charCode(0x1B), charCode(0x7F)}), "12", 2,
                "return, escape and rubout are no characters"},
        EditRow{"12", 2, charCode(0xB5), "12", 2, "no bytes of double-byte characters"},
        EditRow{"12", 2, then({key(VK_F24), key(0x86), key(VK_UP), key(VK_DOWN)}), "12", 2,
                "the tools' keys leave the field alone"},
        EditRow{"12", 2, then({message(WM_MOUSEMOVE), message(WM_LBUTTONDOWN)}), "12", 2,
                "other messages are ignored"},
        EditRow{"12", 9, typed("3"), "123", 3, "a caret past the text starts at its end"},
        EditRow{"12", -4, typed("3"), "312", 1, "a negative caret starts at the start"},
        EditRow{"", 0, typed("a b-Z+*"), "a b-Z+*", 7, "letters, blanks and signs are typed"},
        EditRow{"1.5", 3,
                then({key(VK_BACK), key(VK_BACK), key(VK_BACK), key(VK_BACK), typed("2")}), "2", 1,
                "emptied and typed again"}));

// ---- the bound -------------------------------------------------------------------------

struct BoundRow {
    int size2;
    std::size_t kept;
};

class BoundRows : public EditField, public ::testing::WithParamInterface<BoundRow> {};

TEST_P(BoundRows, TheTextNeverGrowsPastItsFieldOrTheBuffer) {
    const BoundRow& row = GetParam();
    open("", 0, 10, row.size2);
    send(typed("0123456789012345678901234567890123456789"));  // 40 characters
    EXPECT_EQ(std::strlen(buffer), row.kept);
    EXPECT_EQ(static_cast<std::size_t>(caret), row.kept);
    EXPECT_EQ(std::string(buffer), std::string("0123456789012345678901234567890123456789", row.kept));
}

INSTANTIATE_TEST_SUITE_P(Rows, BoundRows,
                         ::testing::Values(BoundRow{20, 20},   // the pleat table's cells
                                           BoundRow{80, 31},   // sleeve cap: the buffer decides
                                           BoundRow{31, 31},
                                           BoundRow{5, 5},
                                           BoundRow{1, 1},
                                           BoundRow{0, 31},    // no length: the buffer decides
                                           BoundRow{-3, 31}));

TEST_F(EditField, AFullFieldStillTakesEditingKeys) {
    open("", 0, 8, 3);
    send(typed("1234"));
    EXPECT_STREQ(buffer, "123");
    send(then({key(VK_HOME), key(VK_DELETE), typed("9")}));
    EXPECT_STREQ(buffer, "923");
    EXPECT_EQ(caret, 1);
}

TEST_F(EditField, ATextLongerThanItsFieldIsKeptButDoesNotGrow) {
    char big[64];
    std::memset(big, 'q', 40);
    big[40] = '\0';
    short bigCaret = 40;
    qpEditString(deskWindow(), 0, 0, 0, 0, kFieldX, kFieldY, 0, 8, 20, kInk, kPaper, &bigCaret, big);
    qpEditString(deskWindow(), WM_CHAR, 'y', 0, 1, 0, 0, 0, 0, 0, 0, 0, &bigCaret, big);
    EXPECT_EQ(std::strlen(big), 40u);
    qpEditString(deskWindow(), WM_KEYDOWN, VK_BACK, 0, 1, 0, 0, 0, 0, 0, 0, 0, &bigCaret, big);
    EXPECT_EQ(std::strlen(big), 39u);
    EXPECT_EQ(bigCaret, 39);
    closeField();
    EXPECT_EQ(std::string(big), std::string(39, 'q'));
}

// ---- modes -----------------------------------------------------------------------------

TEST_F(EditField, EditMessagesGoToTheFieldAsOpenedWhateverTheirOtherArguments) {
    open("", 0, 10, 80);
    char other[32] = "other";
    short otherCaret = 0;
#if QP_HAVE_DESKTOP
    deskClearLog();
#endif
    qpEditString(deskWindow(), WM_CHAR, '7', 0, 1, 500, 500, 0, 10, 20, 0, 0, &otherCaret, other);
    EXPECT_STREQ(buffer, "7");
    EXPECT_EQ(caret, 1);
    EXPECT_STREQ(other, "other");
    EXPECT_EQ(otherCaret, 0);
#if QP_HAVE_DESKTOP
    auto rects = deskCalls("Rectangle");
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].args[0], kFieldX - 3);
    EXPECT_EQ(deskObject(rects[0].brush).colour, kPaper);  // not the 0 passed with the message
#endif
}

TEST_F(EditField, OpeningAgainClosesTheFirstFieldWithItsText) {
    char start[32] = "";
    char end[32] = "";
    short startCaret = 0, endCaret = 0;
    // The pleat table: key 0x87 closes the start cell and opens the end cell.
    qpEditString(deskWindow(), 0, 0, 0, 0, 113, 106, 0, 8, 20, kInk, kPaper, &startCaret, start);
    qpEditString(deskWindow(), WM_CHAR, '1', 0, 1, 113, 106, 0, 8, 20, 0, 0, &startCaret, start);
    qpEditString(deskWindow(), WM_KEYDOWN, VK_F24, 0, 1, 113, 106, 0, 8, 20, 0, 0, &startCaret, start);
    closeField();
    qpEditString(deskWindow(), 0, 0, 0, 0, 289, 106, 0, 8, 20, kInk, kPaper, &endCaret, end);
    qpEditString(deskWindow(), WM_CHAR, '3', 0, 1, 289, 106, 0, 8, 20, 0, 0, &endCaret, end);
    // Opening without closing closes too.
    qpEditString(deskWindow(), 0, 0, 0, 0, 113, 134, 0, 8, 20, kInk, kPaper, &caret, buffer);
    qpEditString(deskWindow(), WM_CHAR, '5', 0, 1, 113, 134, 0, 8, 20, 0, 0, &caret, buffer);
    closeField();
    EXPECT_STREQ(start, "1");
    EXPECT_STREQ(end, "3");
    EXPECT_STREQ(buffer, "5");
    EXPECT_DOUBLE_EQ(std::atof(start), 1.0);
}

TEST_F(EditField, TheSleeveCapEntryTakesALength) {
    // Opened with 10 and 80, fed with 10 and 20 and colours 0, closed with zeros.
    const int x0 = 512 - 363, y0 = 768 - 49;
    qpEditString(deskWindow(), 0, 0, 0, 0, x0 + 550, y0 + 14, 0, 10, 80, 0x3C3CB4, 0xFFFFFF, &caret,
                 buffer);
    for (const Step& s : then({typed("2.5"), key(VK_F24)})) {
        qpEditString(deskWindow(), s.message, s.wParam, 0, 1, x0 + 550, y0 + 14, 0, 10, 20, 0, 0, &caret,
                     buffer);
    }
    closeField();
    EXPECT_STREQ(buffer, "2.5");
    EXPECT_DOUBLE_EQ(std::atof(buffer) * 10.0, 25.0);
}

TEST_F(EditField, WithoutAnOpenFieldEditAndCloseDoNothing) {
    std::strcpy(buffer, "12");
    caret = 1;
    qpEditString(deskWindow(), WM_CHAR, '7', 0, 1, kFieldX, kFieldY, 0, 8, 20, 0, 0, &caret, buffer);
    qpEditString(deskWindow(), WM_KEYDOWN, VK_BACK, 0, 1, kFieldX, kFieldY, 0, 8, 20, 0, 0, &caret,
                 buffer);
    closeField();
    EXPECT_STREQ(buffer, "12");
    EXPECT_EQ(caret, 1);
#if QP_HAVE_DESKTOP
    EXPECT_TRUE(deskLog().empty());  // nothing drawn either
#endif
}

TEST_F(EditField, AnUnknownModeDoesNothing) {
    open("12", 2);
#if QP_HAVE_DESKTOP
    deskClearLog();
#endif
    qpEditString(deskWindow(), WM_CHAR, '7', 0, 2, kFieldX, kFieldY, 0, 8, 20, 0, 0, &caret, buffer);
    EXPECT_STREQ(buffer, "12");
#if QP_HAVE_DESKTOP
    EXPECT_TRUE(deskLog().empty());
#endif
}

TEST_F(EditField, ANullTextOpensNoField) {
    qpEditString(deskWindow(), 0, 0, 0, 0, kFieldX, kFieldY, 0, 8, 20, kInk, kPaper, &caret, nullptr);
    send(typed("1"));
#if QP_HAVE_DESKTOP
    EXPECT_TRUE(deskLog().empty());  // nothing drawn either
#endif
    EXPECT_STREQ(buffer, "");
}

TEST_F(EditField, ANullCaretUsesTheFieldsOwn) {
    std::strcpy(buffer, "12");
    qpEditString(deskWindow(), 0, 0, 0, 0, kFieldX, kFieldY, 0, 8, 20, kInk, kPaper, nullptr, buffer);
    qpEditString(deskWindow(), WM_CHAR, '3', 0, 1, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr);
    qpEditString(deskWindow(), WM_KEYDOWN, VK_END, 0, 1, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr);
    qpEditString(deskWindow(), WM_CHAR, '4', 0, 1, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr);
    closeField();
    EXPECT_STREQ(buffer, "3124");
}

TEST_F(EditField, WithoutAWindowItEditsButDrawsNothing) {
    std::strcpy(buffer, "");
    qpEditString(nullptr, 0, 0, 0, 0, kFieldX, kFieldY, 0, 8, 20, kInk, kPaper, &caret, buffer);
    qpEditString(nullptr, WM_CHAR, '4', 0, 1, 0, 0, 0, 0, 0, 0, 0, &caret, buffer);
    closeField();
    EXPECT_STREQ(buffer, "4");
#if QP_HAVE_DESKTOP
    EXPECT_TRUE(deskLog().empty());  // nothing drawn either
#endif
}

// ---- drawing ---------------------------------------------------------------------------

#if QP_HAVE_DESKTOP

int drawings() { return static_cast<int>(deskCalls("GetDC").size()); }

TEST_F(EditField, OpeningDrawsBoxTextAndCaret) {
    open("12.5", 2, 10, 20);
    EXPECT_EQ(drawings(), 1);
    auto rects = deskCalls("Rectangle");
    ASSERT_EQ(rects.size(), 1u);
    // Paper box framed in ink, one character cell wider than the text.
    EXPECT_EQ(rects[0].args, (std::vector<long>{kFieldX - 3, kFieldY - 2, kFieldX + 5 * 10 + 3, kFieldY + 18}));
    EXPECT_EQ(rects[0].rop2, R2_COPYPEN);
    EXPECT_EQ(deskObject(rects[0].brush).colour, kPaper);
    EXPECT_EQ(deskObject(rects[0].pen).colour, kInk);
    auto texts = deskCalls("TextOutA");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "12.5");
    EXPECT_EQ(texts[0].args, (std::vector<long>{kFieldX, kFieldY}));
    EXPECT_EQ(texts[0].textColour, kInk);
    EXPECT_EQ(texts[0].bkMode, TRANSPARENT);
    // The caret stands before the third character: two cells of 10 pixels in.
    auto lines = deskCalls("LineTo");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].args, (std::vector<long>{kFieldX + 20, kFieldY + 16}));
    EXPECT_EQ(deskCalls("MoveToEx")[0].args, (std::vector<long>{kFieldX + 20, kFieldY}));
    EXPECT_EQ(deskOpenDCs(), 0);
    EXPECT_EQ(deskLivePens(), 0);
    EXPECT_EQ(deskLiveBrushes(), 0);
}

TEST_F(EditField, EveryChangeRedrawsAndNothingElseDoes) {
    open("", 0);
    deskClearLog();
    send(typed("12"));
    EXPECT_EQ(drawings(), 2);
    send(then({key(VK_LEFT), key(VK_LEFT), key(VK_LEFT)}));
    EXPECT_EQ(drawings(), 4);  // the third left finds the caret at the start
    send(then({key(VK_F24), message(WM_MOUSEMOVE), charCode(0x08)}));
    EXPECT_EQ(drawings(), 4);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(EditField, TheBoxGrowsWithTheTextAndNeverShrinksWhileOpen) {
    open("", 0, 8, 20);
    send(typed("12345"));
    long widest = deskCalls("Rectangle").back().args[2];
    EXPECT_EQ(widest, kFieldX + 6 * 8 + 3);
    send(then({key(VK_BACK), key(VK_BACK), key(VK_BACK)}));
    EXPECT_EQ(deskCalls("Rectangle").back().args[2], widest);  // the old characters are covered
    EXPECT_EQ(deskCalls("TextOutA").back().text, "12");
    send(then({key(VK_BACK), key(VK_BACK)}));
    EXPECT_EQ(deskCalls("Rectangle").back().args[2], widest);
    // Emptied: the last drawing paints the box and writes no text.
    std::size_t lastDraw = 0;
    for (std::size_t i = 0; i < deskLog().size(); ++i) {
        if (deskLog()[i].name == "GetDC") lastDraw = i;
    }
    for (std::size_t i = lastDraw; i < deskLog().size(); ++i) EXPECT_NE(deskLog()[i].name, "TextOutA");
}

TEST_F(EditField, ClosingLeavesTheValueWithoutACaret) {
    open("", 0);
    send(typed("7"));
    deskClearLog();
    closeField();
    EXPECT_EQ(drawings(), 1);
    EXPECT_TRUE(deskCalls("LineTo").empty());
    EXPECT_EQ(deskCalls("TextOutA")[0].text, "7");
    deskClearLog();
    closeField();  // already closed
    EXPECT_TRUE(deskLog().empty());
}

TEST_F(EditField, DrawingKeepsTheDisciplineOverALongSession) {
    open("", 0, 10, 80);
    send(then({typed("123.456"), key(VK_HOME), key(VK_DELETE), key(VK_END), key(VK_BACK),
               typed("-"), key(VK_LEFT), key(VK_RIGHT)}));
    closeField();
    EXPECT_STREQ(buffer, "23.45-");
    EXPECT_EQ(deskCalls("GetDC").size(), deskCalls("ReleaseDC").size());
    EXPECT_EQ(deskCalls("CreatePen").size(), deskCalls("CreateSolidBrush").size());
    EXPECT_EQ(deskCalls("DeleteObject").size(), 2 * deskCalls("CreatePen").size());
    EXPECT_EQ(deskCheckDiscipline(), "");
}

#else
QP_DESKTOP_ONLY(EditField, "how the field draws is read from the GDI log")
#endif

}  // namespace
