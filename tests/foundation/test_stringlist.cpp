#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/StringList.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

using test::Strings;

TStringList ListOf(const std::vector<std::string>& items) {
    TStringList list;
    for (const auto& s : items) list.Add(s);
    return list;
}

using V = std::vector<std::string>;

TEST(StringList, SortedCaseInsensitiveIgnoresDuplicatesAndFinds) {
    TStringList list;
    list.SetSorted(true);
    int objA = 0, objB = 0;
    EXPECT_EQ(list.AddObject("usd", &objA), 0);
    EXPECT_EQ(list.Add("EUR"), 0);
    EXPECT_EQ(list.Add("chf"), 0);
    EXPECT_EQ(list.Add("GBP"), 2);
    EXPECT_EQ(list.AddObject("USD", &objB), 3);  // duplicate by the case rule: nothing added
    EXPECT_EQ(Strings(list), (V{"chf", "EUR", "GBP", "usd"}));
    EXPECT_EQ(list.Objects(3), &objA);

    int index = -1;
    EXPECT_TRUE(list.Find("Gbp", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(list.Find("DKK", index));
    EXPECT_EQ(index, 1);  // insertion point
    EXPECT_FALSE(list.Find("ZZZ", index));
    EXPECT_EQ(index, 4);
    EXPECT_EQ(list.IndexOf("eur"), 1);
    EXPECT_EQ(list.IndexOf("JPY"), -1);
}

TEST(StringList, CaseInsensitiveOrderFoldsToUpperCase) {
    // '_' lies between 'Z' and 'a': folding to upper case puts "A_" after "AB".
    TStringList list;
    list.SetSorted(true);
    list.Add("a_");
    list.Add("ab");
    EXPECT_EQ(Strings(list), (V{"ab", "a_"}));
}

TEST(StringList, CaseSensitiveSortedListKeepsBothCasesAndResorts) {
    TStringList list;
    list.SetCaseSensitive(true);
    list.SetSorted(true);
    for (const char* s : {"b", "B", "a", "A"}) list.Add(s);
    EXPECT_EQ(Strings(list), (V{"A", "B", "a", "b"}));
    EXPECT_EQ(list.IndexOf("b"), 3);
    EXPECT_EQ(list.IndexOf("c"), -1);

    list.SetCaseSensitive(false);  // re-sorts, stable among equals
    EXPECT_EQ(Strings(list), (V{"A", "a", "B", "b"}));
}

TEST(StringList, DuplicatesRules) {
    TStringList accept;
    accept.SetSorted(true);
    accept.SetDuplicates(TDuplicates::dupAccept);
    accept.Add("x");
    accept.Add("X");
    EXPECT_EQ(accept.Count(), 2);

    TStringList error;
    error.SetSorted(true);
    error.SetDuplicates(TDuplicates::dupError);
    error.Add("x");
    try {
        error.Add("X");
        FAIL() << "duplicate accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "String list does not allow duplicates");
    }

    // An unsorted list takes everything, whatever the rule.
    TStringList plain;
    plain.SetDuplicates(TDuplicates::dupError);
    plain.Add("x");
    plain.Add("x");
    EXPECT_EQ(plain.Count(), 2);
    EXPECT_EQ(plain.IndexOf("X"), 0);  // linear, by the case rule
}

TEST(StringList, SortingAnExistingListKeepsDuplicatesAndForbidsPositionalEdits) {
    TStringList list = ListOf({"b", "a", "B", "c"});
    list.SetSorted(true);
    EXPECT_EQ(Strings(list), (V{"a", "b", "B", "c"}));
    EXPECT_THROW(list.Insert(0, "z"), Exception);
    EXPECT_THROW(list.SetString(0, "z"), Exception);
    EXPECT_THROW(list.Move(0, 1), Exception);
    EXPECT_EQ(list.Add("bb"), 3);
}

TEST(StringList, IndexErrorsNameTheIndex) {
    TStringList list = ListOf({"a"});
    try {
        (void)list[3];
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    EXPECT_THROW(list.Delete(-1), std::out_of_range);
    EXPECT_THROW(list.Objects(1), std::out_of_range);
    EXPECT_THROW(list.Insert(2, "x"), std::out_of_range);
    list.Insert(1, "b");  // appending by Insert is allowed
    EXPECT_EQ(Strings(list), (V{"a", "b"}));
}

TEST(StringList, MoveExchangeDeleteKeepObjectsWithStrings) {
    int o1 = 1, o2 = 2, o3 = 3;
    TStringList list;
    list.AddObject("one", &o1);
    list.AddObject("two", &o2);
    list.AddObject("three", &o3);
    list.Move(0, 2);
    EXPECT_EQ(Strings(list), (V{"two", "three", "one"}));
    EXPECT_EQ(list.ObjectAs<int>(2), &o1);
    list.Exchange(0, 1);
    EXPECT_EQ(Strings(list), (V{"three", "two", "one"}));
    EXPECT_EQ(list.IndexOfObject(&o2), 1);
    list.Delete(1);
    EXPECT_EQ(list.IndexOfObject(&o2), -1);
    EXPECT_EQ(list.ObjectAs<int>(1), &o1);
}

TEST(StringList, AssignAndAddStringsGoThroughThisListsRules) {
    TStringList source = ListOf({"b", "a", "B"});
    int obj = 0;
    source.SetObject(1, &obj);

    TStringList sorted;
    sorted.SetSorted(true);
    sorted.Add("old");
    sorted.Assign(source);
    EXPECT_EQ(Strings(sorted), (V{"a", "b"}));
    EXPECT_EQ(sorted.Objects(0), &obj);
    EXPECT_TRUE(sorted.Sorted());

    TStringList plain = ListOf({"x"});
    plain.AddStrings(plain);  // adding a list to itself doubles it
    plain.AddStrings(source);
    EXPECT_EQ(Strings(plain), (V{"x", "x", "b", "a", "B"}));
}

// Copies share their items until one changes: every change must reach only the list it is
// made on, whichever of the two lists it is.
TEST(StringList, CopiesChangeEachOnItsOwn) {
    int o1 = 1, o2 = 2;
    struct Case {
        const char* name;
        void (*change)(TStringList&, void*);
        V strings;  // of the changed list
    };
    const Case cases[] = {
        {"SetString", [](TStringList& l, void*) { l.SetString(1, "B"); }, {"c", "B", "a"}},
        {"SetObject", [](TStringList& l, void* o) { l.SetObject(2, o); }, {"c", "b", "a"}},
        {"Add", [](TStringList& l, void*) { l.Add("d"); }, {"c", "b", "a", "d"}},
        {"Insert", [](TStringList& l, void* o) { l.Insert(0, "z", o); }, {"z", "c", "b", "a"}},
        {"Delete", [](TStringList& l, void*) { l.Delete(0); }, {"b", "a"}},
        {"Move", [](TStringList& l, void*) { l.Move(0, 2); }, {"b", "a", "c"}},
        {"Exchange", [](TStringList& l, void*) { l.Exchange(0, 2); }, {"a", "b", "c"}},
        {"Sort", [](TStringList& l, void*) { l.Sort(); }, {"a", "b", "c"}},
        {"Clear", [](TStringList& l, void*) { l.Clear(); }, {}},
        {"SetText", [](TStringList& l, void*) { l.SetText("x\ny"); }, {"x", "y"}},
        {"AddStrings", [](TStringList& l, void*) { l.AddStrings(l); }, {"c", "b", "a", "c", "b", "a"}},
    };
    for (const Case& c : cases) {
        for (bool changeCopy : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (changeCopy ? " on the copy" : " on the original"));
            TStringList original = ListOf({"c", "b", "a"});
            original.SetObject(1, &o1);
            TStringList copy(original);
            TStringList assigned;
            assigned.Assign(original);
            TStringList& changed = changeCopy ? copy : original;
            const TStringList& kept = changeCopy ? original : copy;
            c.change(changed, &o2);
            EXPECT_EQ(Strings(changed), c.strings);
            for (const TStringList* other : {&kept, static_cast<const TStringList*>(&assigned)}) {
                EXPECT_EQ(Strings(*other), (V{"c", "b", "a"}));
                EXPECT_EQ(other->Objects(0), nullptr);
                EXPECT_EQ(other->Objects(1), &o1);
                EXPECT_EQ(other->Objects(2), nullptr);
            }
        }
    }
}

// Objects are kept apart from the strings once the first one is set; each must stay with
// its string through every change, and a list without objects reads nullptr everywhere.
TEST(StringList, ObjectsSetLateStayWithTheirStrings) {
    int o1 = 1, o2 = 2, o3 = 3;
    TStringList list = ListOf({"d", "b"});
    EXPECT_EQ(list.Objects(1), nullptr);
    EXPECT_EQ(list.IndexOfObject(nullptr), 0);
    list.SetObject(1, nullptr);  // nullptr on a list without objects changes nothing
    list.AddObject("c", &o1);
    list.Insert(0, "a", &o2);
    list.Add("e");
    EXPECT_EQ(Strings(list), (V{"a", "d", "b", "c", "e"}));
    EXPECT_EQ(list.IndexOfObject(nullptr), 1);
    EXPECT_EQ(list.IndexOfObject(&o1), 3);

    TStringList plain = ListOf({"f"});
    plain.AddStrings(list);
    plain.SetObject(0, &o3);
    list.AddStrings(ListOf({"g"}));
    list.SetSorted(true);  // sorting moves each object with its string
    EXPECT_EQ(Strings(list), (V{"a", "b", "c", "d", "e", "g"}));
    const std::vector<void*> objects = {&o2, nullptr, &o1, nullptr, nullptr, nullptr};
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Objects(i), objects[static_cast<std::size_t>(i)]) << i;
    int i = 0;
    for (const TStringList::Item& item : list.Items()) {
        EXPECT_EQ(item.str, list[i]);
        EXPECT_EQ(item.obj, list.Objects(i++));
    }
    EXPECT_EQ(i, list.Count());
    EXPECT_EQ(Strings(plain), (V{"f", "a", "d", "b", "c", "e"}));
    EXPECT_EQ(plain.Objects(0), &o3);
    EXPECT_EQ(plain.Objects(1), &o2);
    EXPECT_EQ(plain.Objects(4), &o1);
    EXPECT_EQ(plain.Objects(5), nullptr);
}

TEST(StringList, NameValueAccess) {
    TStringList list = ListOf({"Alpha=1", "bare", "Beta=x=y", "=empty", "alpha=2"});
    EXPECT_EQ(list.Names(0), "Alpha");
    EXPECT_EQ(list.Names(1), "");
    EXPECT_EQ(list.ValueFromIndex(2), "x=y");
    EXPECT_EQ(list.IndexOfName("ALPHA"), 0);  // first of the name, case-insensitive
    EXPECT_EQ(list.IndexOfName("bare"), -1);  // a line without '=' has no name
    EXPECT_EQ(list.IndexOfName("Beta=x"), -1);
    EXPECT_EQ(list.IndexOfName(""), 3);
    EXPECT_EQ(list.Values("beta"), "x=y");
    EXPECT_EQ(list.Values("gamma"), "");

    list.SetValue("BETA", "3");
    EXPECT_EQ(list[2], "BETA=3");
    list.SetValue("Gamma", "g");
    EXPECT_EQ(list[5], "Gamma=g");
    list.SetValue("alpha", "");  // deletes the first Alpha line only
    EXPECT_EQ(Strings(list), (V{"bare", "BETA=3", "=empty", "alpha=2", "Gamma=g"}));
    list.SetValue("missing", "");
    EXPECT_EQ(list.Count(), 5);

    TStringList caseSensitive = ListOf({"Key=1"});
    caseSensitive.SetCaseSensitive(true);
    EXPECT_EQ(caseSensitive.IndexOfName("key"), -1);
}

TEST(StringList, SetValueOnSortedListKeepsOrder) {
    TStringList list;
    list.SetSorted(true);
    list.Add("b=1");
    list.Add("c=1");
    list.SetValue("b", "9");
    list.SetValue("a", "0");
    EXPECT_EQ(Strings(list), (V{"a=0", "b=9", "c=1"}));
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
    struct Case {
        V items;
        std::string text;
    };
    const Case cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"a", "b"}, "a,b"},
        {{"a", "", "b"}, "a,,b"},
        {{"a b", "c,d", "say \"hi\"", "tab\there", "x"}, "\"a b\",\"c,d\",\"say \"\"hi\"\"\",\"tab\there\",x"},
        {{"EUR", "USD", "caf\xc3\xa9"}, "EUR,USD,caf\xc3\xa9"},  // bytes >= 0x80 need no quotes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TStringList list = ListOf(c.items);
        EXPECT_EQ(list.CommaText(), c.text);
        TStringList back;
        back.SetCommaText(c.text);
        EXPECT_EQ(Strings(back), c.items);
    }
}

TEST(StringList, SetCommaTextSplitsAtBlanksOutsideQuotes) {
    struct Case {
        std::string text;
        V items;
    };
    const Case cases[] = {
        {"  a, b ,c", {"a", "b", "c"}},
        {"a b", {"a", "b"}},
        {"EUR USD,\tGBP\r\n", {"EUR", "USD", "GBP"}},
        {"a,", {"a", ""}},   // a trailing delimiter adds an empty item
        {"a, ", {"a"}},      // ...unless blanks follow it
        {",a", {"", "a"}},
        {"\"x y\"z,w", {"x y", "z", "w"}},
        {"\"unterminated, quote", {"unterminated, quote"}},
        {"\"a\"\"b\"", {"a\"b"}},
        {"   ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TStringList list;
        list.SetCommaText(c.text);
        EXPECT_EQ(Strings(list), c.items);
    }
}

TEST(StringList, DelimitedTextWithOtherDelimiterAndStrictMode) {
    TStringList list;
    list.SetDelimitedText(" a b;'c;d';", ';', '\'', true);
    EXPECT_EQ(Strings(list), (V{" a b", "c;d", ""}));
    EXPECT_EQ(list.DelimitedText(';', '\''), "' a b';'c;d';");

    list.SetDelimitedText("a b;c", ';', '"', false);
    EXPECT_EQ(Strings(list), (V{"a", "b", "c"}));
}

TEST(StringList, SetCommaTextOnSortedListSortsAndDropsDuplicates) {
    TStringList list;
    list.SetSorted(true);
    list.SetCommaText("USD,eur,EUR,CHF");
    EXPECT_EQ(Strings(list), (V{"CHF", "eur", "USD"}));
}

TEST(StringList, TextSplittingAndRendering) {
    struct Case {
        std::string text;
        V lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
        {"\r\n", {""}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\n\r", {"a", ""}},  // LF then a lone CR: two breaks
        {"a\r\r\n", {"a", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(Strings(list), c.lines);
    }
    EXPECT_EQ(ListOf({"a", "", "b"}).Text(), "a\r\n\r\nb\r\n");
    EXPECT_EQ(TStringList().Text(), "");
}

TEST(StringList, SaveAndLoadFile) {
    const std::string path = ::testing::TempDir() + "vemra_stringlist_save.txt";
    TStringList list = ListOf({"one", "two"});
    list.SaveToFile(path);
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\r\n");
    TStringList back;
    back.LoadFromFile(path);
    EXPECT_EQ(Strings(back), (V{"one", "two"}));
    DeleteFile(path);
    EXPECT_THROW(back.LoadFromFile(path), EInOutError);
    EXPECT_EQ(back.Count(), 2);
}

}  // namespace
}  // namespace vemra
