// The system's texts are GBK bytes: each one, read back as UTF-8, must be
// the text as the user knows it, blanks and full-width signs included.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "frame/texts.h"
#include "tests/support/scene.h"

#if !defined(_WIN32)
#  include <iconv.h>
#endif

namespace {

// GBK -> UTF-8 (the C library's iconv, or code page 936 on Windows);
// "<invalid>" when a byte sequence is not GBK at all.
std::string gbkToUtf8(const std::string& gbk) {
    if (gbk.empty()) return gbk;
#if defined(_WIN32)
    const int n = static_cast<int>(gbk.size());
    const int wide = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), n, nullptr, 0);
    if (wide <= 0) return "<invalid>";
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), n, w.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
#else
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
    std::string in = gbk;
    std::string out(in.size() * 3 + 4, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t srcLeft = in.size(), dstLeft = out.size();
    std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || srcLeft != 0) return "<invalid>";
    out.resize(out.size() - dstLeft);
    return out;
#endif
}

struct TextRow {
    const char* gbk;
    const char* utf8;
    std::size_t bytes;  // GBK length: two per Chinese or full-width character
};

class SystemTexts : public ::testing::TestWithParam<TextRow> {};

TEST_P(SystemTexts, ReadsBackAsTheUserSeesIt) {
    const TextRow& row = GetParam();
    EXPECT_EQ(std::strlen(row.gbk), row.bytes);
    EXPECT_EQ(gbkToUtf8(row.gbk), row.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SystemTexts,
    ::testing::Values(
        TextRow{kCaption, u8"服装 CAD 系统（Windows 版）", 27},
        TextRow{kDialogLengthInput, "LENGTHINPUTDLG", 14},
        TextRow{kPromptItalyEnds, u8"请指定袖山曲线端点！    ", 24},         // four trailing blanks
        TextRow{kPromptItalyCut, u8"请指定袖山曲线切开点！    ", 26},
        TextRow{kItalyResultLine,
                u8"袖山曲线长度 ＝                       厘米，增加长度（厘米）＝ ", 63},  // 23 blanks
        TextRow{kFoldTableTitle, u8"请输入褶皱线两端展开宽度（厘米）", 32},
        TextRow{kFoldTableHeader, u8"起点点号      展开宽度      终点点号      展开宽度", 50},
        TextRow{kGapMoveNoOutlinePoint,
                u8"未找到轮廓线上与省道线相交的转折点，不能执行省道转移操作 !", 58},
        TextRow{kGapMoveNoLegsCross, u8"未找到原两条省道线交点，不能执行省道转移操作 !", 46},
        TextRow{kGapMoveNoNewOldCross, u8"未找到新旧省道线交点，不能执行省道转移操作 !", 44},
        TextRow{kPromptGapFoldLegs, u8"请指定省道边线！  ", 18},               // two trailing blanks
        TextRow{kPromptGapFoldCentreLine, u8"请指定省道中线！  ", 18},
        TextRow{kPromptGapFoldCentreEnd, u8"请指定省道中线端点！  ", 22},
        TextRow{kPromptGapFoldDirection, u8"请指定省道折叠方向！  ", 22},
        TextRow{kGapFoldNoOutlinePoint,
                u8"未找到轮廓线上与省道线相交的转折点，不能执行省道折叠操作 !", 58},
        TextRow{kGapFoldNoLegsCross, u8"未找到省道线交点，不能执行省道折叠操作 !", 40},
        TextRow{kFoldTableFull, u8"最多可指定20条褶皱线！", 22},
        TextRow{kFoldNotPleatLine, u8"褶皱线须为两点内部线！", 22},
        TextRow{kFoldWidthRefused, u8"输入的宽度无效，保留原宽度！", 28},
        TextRow{kFoldRowsSkipped,
                u8"跳过的褶皱线（1 端点不在轮廓线上或重合，2 两端宽度差大于线长的两倍，3 需展开的端点不能剪开）：", 94},
        TextRow{kGapMoveNoRoom, u8"图样空间不足，不能执行省道转移操作 !", 36},
        TextRow{kGapMoveNoMiddle, u8"未找到新省道口的中点，不能执行省道转移操作 !", 44},
        TextRow{kGapMoveTooShort, u8"新省道线太短，不能执行省道转移操作 !", 36},
        TextRow{kGapFoldStopped, u8"省道折叠失败，请重新选择省道折叠工具 !", 38},
        TextRow{kGapFoldLineShape, u8"省道线须为两点直线，不能执行省道折叠操作 !", 42},
        TextRow{kGapFoldMouthShape, u8"省道口形状不符，不能执行省道折叠操作 !", 38},
        TextRow{kGapFoldNoSpan, u8"未找到省道口两侧的轮廓线，不能执行省道折叠操作 !", 48},
        TextRow{kGapFoldNoRoom, u8"图样空间不足，不能执行省道折叠操作 !", 36},
        TextRow{kGapUnfoldMismatch, u8"折叠样片与折叠记录不符，不能执行省道展开操作 !", 46},
        TextRow{kGapUnfoldNoRoom, u8"图样空间不足，不能执行省道展开操作 !", 36},
        TextRow{kNumberRefused, u8"输入的数值无效 !", 16},
        TextRow{kIncreaseTooLong, u8"输入的长度超出了轮廓线的长度 !", 30},
        TextRow{kIncreaseNoRoom, u8"内存不足，不能增加点 !", 22},
        TextRow{kSymmetryTooLarge, u8"对称后的衣片过大，不能执行对称操作 !", 36},
        TextRow{kEditNoRoom, u8"图样空间不足，不能执行此操作 !", 30}));

TEST(SystemTextTable, ListsEveryTextOnceUnderItsOwnName) {
    std::set<std::string> names;
    std::set<std::string> texts;
    for (const SystemText& t : kSystemTexts) {
        EXPECT_TRUE(names.insert(t.name).second) << t.name;
        EXPECT_TRUE(texts.insert(t.gbk).second) << t.name;
        EXPECT_NE(gbkToUtf8(t.gbk), "<invalid>") << t.name;
    }
    EXPECT_EQ(names.size(), 35u);
}

// The host says a refusal in English: every text has a one-line reading,
// and the texts flagged as refusals are those that say what cannot be done,
// is not valid, runs past a limit, must be otherwise, was skipped or failed.
TEST(SystemTextTable, ReadsEveryTextAndFlagsTheRefusals) {
    for (const SystemText& t : kSystemTexts) {
        const std::string reading = t.reading;
        EXPECT_FALSE(reading.empty()) << t.name;
        EXPECT_EQ(reading.find('\n'), std::string::npos) << t.name;
        const std::string text = gbkToUtf8(t.gbk);
        bool declines = false;
        for (const char* word : {u8"不能", u8"无效", u8"超出", u8"须为", u8"最多", u8"跳过", u8"失败"})
            declines = declines || text.find(word) != std::string::npos;
        EXPECT_EQ(t.refusal, declines) << t.name << ": " << text;
    }
}

// The caption reaches the message box byte for byte (on Windows: as the box
// shows it, in the ANSI code page 936).
TEST(SystemTextTable, TheCaptionReachesTheMessageBoxAsGbk) {
    deskReset();
    MessageBoxA(deskWindow(), kGapFoldNoLegsCross, kCaption, MB_ICONERROR);
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    const std::string caption = deskMessageBoxes()[0].caption;
    EXPECT_EQ(caption.size(), 27u);
    EXPECT_EQ(gbkToUtf8(caption), u8"服装 CAD 系统（Windows 版）");
    // Full-width brackets are the two-byte GBK signs A3A8 and A3A9.
    EXPECT_NE(caption.find("\xA3\xA8" "Windows"), std::string::npos);
    EXPECT_EQ(caption.substr(caption.size() - 2), "\xA3\xA9");
}

}  // namespace
