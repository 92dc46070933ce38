// The measurement table: names of one or two letters, case-sensitive,
// values in centimetres; an unknown name joins with 0 on first lookup.
#include <vector>

#include "tests/support/store_fixture.h"

namespace {

class Parameters : public ::testing::Test {
protected:
    void SetUp() override { storeClearParameters(); }
    void TearDown() override { storeClearParameters(); }
    static ParaName* Lookup(char first, char second) {
        ParaName* p = nullptr;
        qpGetParaNameLptr(nullptr, first, second, &p);
        return p;
    }
};

TEST_F(Parameters, SetValuesAreFoundByTheirLetters) {
    ASSERT_EQ(storeSetParameter("H", 160.0f), 1);
    ASSERT_EQ(storeSetParameter("BL", 38.5f), 1);
    ASSERT_EQ(storeSetParameter("bl", 2.0f), 1);
    ParaName* h = Lookup('H', 0);
    ASSERT_NE(h, nullptr);
    EXPECT_FLOAT_EQ(h->value, 160.0f);
    EXPECT_FLOAT_EQ(Lookup('B', 'L')->value, 38.5f);
    EXPECT_FLOAT_EQ(Lookup('b', 'l')->value, 2.0f);
    EXPECT_EQ(storeParameterCount(), 3);
    ASSERT_EQ(storeSetParameter("H", 170.0f), 1);  // a new value, not a second H
    EXPECT_EQ(storeParameterCount(), 3);
    EXPECT_FLOAT_EQ(h->value, 170.0f);
}

// The one rule for names, as a formula text reads them: at each place, a
// letter and the next one when it is a letter of the same case.
TEST_F(Parameters, NamesAsAFormulaTextReadsThem) {
    struct Row {
        const char* text;
        size_t at;
        size_t length;
    };
    const Row rows[] = {
        {"H/4", 0, 1}, {"BL*2", 0, 2}, {"Bl", 0, 1}, {"aBc", 1, 1}, {"HBL", 0, 2},  // "HB", then "L" alone
        {"HBL", 2, 1}, {"2*ab", 2, 2}, {"2*ab", 0, 0}, {"H", 1, 0}, {"", 0, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(storeParameterNameAt(r.text, r.at), r.length) << r.text << " at " << r.at;
    for (const char* name : {"H", "BL", "ab"}) EXPECT_TRUE(storeIsParameterName(name)) << name;
    for (const char* name : {"", "HBL", "Ab", "1", "H1", "+"}) EXPECT_FALSE(storeIsParameterName(name)) << name;
}

TEST_F(Parameters, AnUnknownNameJoinsWithZero) {
    ParaName* w = Lookup('W', 0);
    ASSERT_NE(w, nullptr);
    EXPECT_FLOAT_EQ(w->value, 0.0f);
    EXPECT_EQ(storeParameterCount(), 1);
    EXPECT_EQ(Lookup('W', 0), w);
    char name[3];
    float value = -1;
    ASSERT_EQ(storeGetParameter(0, name, &value), 1);
    EXPECT_STREQ(name, "W");
    EXPECT_FLOAT_EQ(value, 0.0f);
    EXPECT_EQ(storeGetParameter(1, name, &value), 0);
    EXPECT_EQ(storeGetParameter(-1, name, &value), 0);
}

TEST_F(Parameters, RecordsStayWhereTheyAreWhileNamesAreAdded) {
    storeSetParameter("H", 160.0f);
    ParaName* h = Lookup('H', 0);
    for (char a = 'A'; a <= 'Z'; ++a)
        for (char b = 'A'; b <= 'Z'; ++b) Lookup(a, b);
    EXPECT_EQ(Lookup('H', 0), h);
    EXPECT_FLOAT_EQ(h->value, 160.0f);  // the formula routines keep such a pointer
    h->value = 1.0f;                    // and write through it
    float value = 0;
    char name[3];
    storeGetParameter(0, name, &value);
    EXPECT_FLOAT_EQ(value, 1.0f);
}

TEST_F(Parameters, RefusedNames) {
    const std::vector<const char*> refused = {"", "HBL", "1", "H1", "Ab", "aB", "+"};
    for (const char* name : refused) EXPECT_EQ(storeSetParameter(name, 1.0f), 0) << '"' << name << '"';
    EXPECT_EQ(storeSetParameter(nullptr, 1.0f), 0);
    EXPECT_EQ(storeParameterCount(), 0);
    EXPECT_EQ(Lookup('1', 0), nullptr);
    EXPECT_EQ(Lookup(0, 0), nullptr);
    EXPECT_EQ(storeParameterCount(), 0);
}

TEST_F(Parameters, ClearEmptiesTheTable) {
    storeSetParameter("H", 160.0f);
    storeClearParameters();
    EXPECT_EQ(storeParameterCount(), 0);
    EXPECT_FLOAT_EQ(Lookup('H', 0)->value, 0.0f);
}

}  // namespace
