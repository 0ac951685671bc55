#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "html/HTMLParser.h"
#include "html/hierarchy.h"

namespace vemra {
namespace {

TTagNode* AddTag(THierarchyNode* parent, std::string_view name, std::int32_t kind = tkElement) {
    auto* node = new TTagNode();
    node->TagName = name;
    node->Kind = kind;
    parent->AddChild(node);
    return node;
}

TTagNode* AddText(THierarchyNode* parent, std::string_view text) {
    TTagNode* node = AddTag(parent, "PCDATA", tkText);
    node->Text = text;
    return node;
}

std::vector<std::string> Names(const THierarchyNode& node) {
    std::vector<std::string> out;
    for (const THierarchyNode* child : node.Children()) out.push_back(child->TagName.str());
    return out;
}

using Strings = std::vector<std::string>;

// ---- the list and its searches ----

class TagListTest : public ::testing::Test {
protected:
    // td, TD, span, Td, td, b: four "td" of different spelling among others.
    void SetUp() override {
        for (const char* name : {"td", "TD", "span", "Td", "td", "b"}) list.TagListAdd(AddTag(&root, name));
    }
    TTagNode root;
    TTagNodeList list;
};

TEST_F(TagListTest, FindTagByIndexCountsOnlyMatchingNamesIgnoringCase) {
    struct Case {
        std::string_view name;
        int n;
        int expectedItem;  // -1: nullptr
    } cases[] = {
        {"TD", 0, 0}, {"td", 1, 1}, {"td", 2, 3}, {"tD", 3, 4}, {"td", 4, -1},
        {"td", -1, -1}, {"span", 0, 2}, {"b", 1, -1}, {"*", 0, -1}, {"", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.n));
        EXPECT_EQ(list.FindTagByIndex(c.name, c.n), c.expectedItem < 0 ? nullptr : list.TagListItem(c.expectedItem));
    }
}

TEST_F(TagListTest, SearchesFollowAddsDeletesAndClears) {
    TTagNode* second = list.FindTagByIndex("td", 1);
    ASSERT_EQ(second, list.TagListItem(1));
    list.TagListDelete(0);  // the first "td" goes: every later occurrence moves up one
    EXPECT_EQ(list.FindTagByIndex("td", 0), second);
    EXPECT_EQ(list.FindTagByIndex("td", 3), nullptr);
    TTagNode* added = AddTag(&root, "tD");
    list.TagListAdd(added);
    EXPECT_EQ(list.FindTagByIndex("td", 3), added);
    EXPECT_EQ(list.FindTagByIndex("span", 0), list.TagListItem(1));
    list.ClearTagList();
    EXPECT_EQ(list.FindTagByIndex("td", 0), nullptr);
}

TEST_F(TagListTest, ItemAndDeleteIgnoreIndexesOutsideTheList) {
    ASSERT_EQ(list.TagListCount(), 6);
    EXPECT_EQ(list.TagListItem(-1), nullptr);
    EXPECT_EQ(list.TagListItem(6), nullptr);
    list.TagListDelete(6);
    list.TagListDelete(-1);
    EXPECT_EQ(list.TagListCount(), 6);
    list.TagListDelete(0);
    EXPECT_EQ(list.TagListCount(), 5);
    EXPECT_EQ(list.TagListItem(0)->TagName, "TD");
    EXPECT_EQ(list.TagListAdd(&root), 5);
    list.ClearTagList();
    EXPECT_EQ(list.TagListCount(), 0);
    EXPECT_EQ(root.ChildCount(), 6);  // the list never owned the nodes
}

// ---- walks ----

TEST(TagTreeWalk, GetNodeTextJoinsTextNodesInDocumentOrder) {
    TTagNode root;
    TTagNode* b = AddTag(&root, "b");
    AddText(b, "1");
    TTagNode* i = AddTag(b, "i");
    AddText(i, "2");
    TTagNode* comment = AddTag(b, "!", tkComment);
    comment->Text = "not text";
    TTagNode* cdata = AddTag(b, "CDATA", tkCData);
    cdata->Text = "nor this";
    AddText(b, " \r\n3 ");

    EXPECT_EQ(GetNodeText(b), "12 \r\n3 ");
    EXPECT_EQ(GetNodeText(comment), "");
    EXPECT_EQ(GetNodeText(i->GetChild(0)), "2");
    EXPECT_EQ(GetNodeText(nullptr), "");
}

TEST(TagTreeWalk, FindAllTagsCollectsDescendantsInPreOrder) {
    THTMLParser parser;
    parser.ParseHTML("x<a>y</a><A><b>z</b></A>\r\n");
    TTagNodeList list;
    list.TagListAdd(parser.Root());  // cleared first

    FindAllTags(parser.Root(), "*", &list);
    Strings all;
    for (int k = 0; k < list.TagListCount(); ++k) {
        const TTagNode* n = list.TagListItem(k);
        all.push_back(n->Kind == tkText ? "'" + n->Text.str() + "'" : n->TagName.str());
    }
    EXPECT_EQ(all, (Strings{"'x'", "a", "'y'", "A", "b", "'z'"}));

    FindAllTags(parser.Root(), "", &list);
    EXPECT_EQ(list.TagListCount(), 6);
    FindAllTags(parser.Root(), "a", &list);
    ASSERT_EQ(list.TagListCount(), 2);
    EXPECT_EQ(list.TagListItem(1)->TagName, "A");
    FindAllTags(parser.Root()->GetChild(1), "*", &list);  // the root of the search is left out
    ASSERT_EQ(list.TagListCount(), 1);
    EXPECT_EQ(list.TagListItem(0)->Text, "y");
    FindAllTags(parser.Root(), "*", nullptr);  // nothing to fill
    CollectTags(nullptr, "*", &list);
    EXPECT_EQ(list.TagListCount(), 1);
}

TEST(TagTreeWalk, CollectTagsListsOnlyTagNodesButSearchesUnderAnyNode) {
    TTagNode root;
    THierarchyNode* plain = root.AddNewChild("x", 7);
    AddTag(plain, "td");
    TTagNodeList list;
    FindAllTags(&root, "*", &list);
    ASSERT_EQ(list.TagListCount(), 1);
    EXPECT_EQ(list.TagListItem(0)->TagName, "td");
}

// ---- structure ----

TEST(TagTreeStructure, SetParentMovesDetachesAndIgnoresNoOps) {
    TTagNode a;
    TTagNode b;
    TTagNode* x = AddTag(&a, "x");
    TTagNode* y = AddTag(&a, "y");
    AddTag(&a, "z");

    x->SetParent(&a);  // the current parent: stays where it is
    EXPECT_EQ(Names(a), (Strings{"x", "y", "z"}));
    x->SetParent(x);
    EXPECT_EQ(x->GetParent(), &a);

    y->SetParent(&b);
    EXPECT_EQ(Names(a), (Strings{"x", "z"}));
    EXPECT_EQ(Names(b), (Strings{"y"}));
    EXPECT_EQ(y->GetParent(), &b);
    EXPECT_EQ(y->IndexInParent(), 0);

    b.RemoveChild(y);
    EXPECT_EQ(y->GetParent(), nullptr);
    EXPECT_EQ(y->IndexInParent(), -1);
    EXPECT_EQ(b.ChildCount(), 0);
    a.RemoveChild(y);  // not a child of a: nothing happens
    delete y;          // the caller owns a removed child
}

TEST(TagTreeStructure, SetParentRefusesToMakeANodeItsOwnDescendant) {
    TTagNode root;
    TTagNode* a = AddTag(&root, "a");
    TTagNode* b = AddTag(a, "b");
    TTagNode* c = AddTag(b, "c");
    a->SetParent(c);
    EXPECT_EQ(a->GetParent(), &root);
    EXPECT_EQ(Names(*c), Strings{});
    c->AddChild(a);
    EXPECT_EQ(a->GetParent(), &root);
}

TEST(TagTreeStructure, InsertChildAndSetIndexReorder) {
    TTagNode root;
    AddTag(&root, "a");
    AddTag(&root, "b");
    TTagNode* c = AddTag(&root, "c");
    root.InsertChild(0, c);
    EXPECT_EQ(Names(root), (Strings{"c", "a", "b"}));
    c->SetIndex(2);
    EXPECT_EQ(Names(root), (Strings{"a", "b", "c"}));
    root.InsertChild(1, new TTagNode());
    EXPECT_EQ(Names(root), (Strings{"a", "", "b", "c"}));
    EXPECT_THROW(c->SetIndex(4), std::out_of_range);
    EXPECT_THROW(c->SetIndex(-1), std::out_of_range);
    EXPECT_EQ(Names(root), (Strings{"a", "", "b", "c"}));
}

TEST(TagTreeStructure, GetChildRaisesTheListIndexError) {
    TTagNode root;
    TTagNode* a = AddTag(&root, "a");
    EXPECT_EQ(root.GetChild(0), a);
    EXPECT_EQ(GetChild(&root, 0), a);
    try {
        root.GetChild(5);
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
    EXPECT_THROW(root.GetChild(-1), std::out_of_range);
}

TEST(TagTreeStructure, AddNewChildMakesAPlainNodeAndCreateKeepsTheClass) {
    TTagNode root;
    THierarchyNode* child = root.AddNewChild("x", 7);
    EXPECT_EQ(TTagNode::FromNode(child), nullptr);
    EXPECT_EQ(child->Text, "x");
    EXPECT_EQ(child->Data, 7);
    EXPECT_EQ(child->Kind, 0);
    EXPECT_EQ(child->GetParent(), &root);
    EXPECT_EQ(GetChild(&root, 0), nullptr);  // not a tag node

    std::unique_ptr<THierarchyNode> made(root.Create());
    EXPECT_NE(TTagNode::FromNode(made.get()), nullptr);
    std::unique_ptr<THierarchyNode> plain(child->Create());
    EXPECT_EQ(TTagNode::FromNode(plain.get()), nullptr);
}

TEST(TagTreeStructure, ClearNodeEmptiesAllButTheName) {
    TTagNode root;
    TTagNode* a = AddTag(&root, "a");
    a->Text = "t";
    a->Data = 3;
    a->Params().Add("k=v");
    AddTag(AddTag(a, "b"), "c");
    a->ClearNode();
    EXPECT_EQ(a->TagName, "a");
    EXPECT_EQ(a->Text, "");
    EXPECT_EQ(a->Kind, 0);
    EXPECT_EQ(a->Data, 0);
    EXPECT_EQ(a->ChildCount(), 0);
    EXPECT_EQ(a->Params().Count(), 0);
    // Its parent no longer holds it, so the parent and the node are freed separately.
    EXPECT_EQ(a->GetParent(), nullptr);
    EXPECT_EQ(root.ChildCount(), 0);
    delete a;
}

TEST(TagTreeStructure, DeletingANodeDetachesItAndFreesItsSubtree) {
    TTagNode root;
    AddTag(&root, "a");
    TTagNode* b = AddTag(&root, "b");
    AddText(AddTag(b, "i"), "x");
    AddTag(&root, "c");
    delete b;
    EXPECT_EQ(Names(root), (Strings{"a", "c"}));
    root.FreeChildren();
    EXPECT_EQ(root.ChildCount(), 0);
}

TEST(TagTreeStructure, ManyChildrenKeepTheirOrder) {
    TTagNode root;
    for (int k = 0; k < 1000; ++k) AddTag(&root, std::to_string(k));
    for (int k = 999; k >= 0; k -= 2) delete root.GetChild(k);
    ASSERT_EQ(root.ChildCount(), 500);
    for (int k = 0; k < 500; ++k) EXPECT_EQ(root.GetChild(k)->TagName, std::to_string(2 * k));
}

TEST(TagTreeStructure, NodeStringsHoldShortAndLongTexts) {
    TTagNode node;
    const std::string longText(1000, 'x');
    for (const std::string& text : {std::string(), std::string("PCDATA"), std::string(15, 'a'),
                                    std::string(16, 'b'), longText, std::string("a\0b", 3)}) {
        node.Text = text;
        EXPECT_EQ(node.Text.str(), text);
        EXPECT_EQ(node.Text.size(), text.size());
        EXPECT_EQ(node.Text.c_str()[text.size()], '\0');
        TNodeString copy(node.Text);
        EXPECT_EQ(copy, node.Text);
    }
    node.Text = longText;
    node.Text = node.Text.View().substr(10);  // from itself
    EXPECT_EQ(node.Text.str(), longText.substr(10));
}

// ---- depth ----

TEST(TagTreeDepth, WalksAndFreesAMillionLevelsWithoutRecursion) {
    auto root = std::make_unique<TTagNode>();
    THierarchyNode* node = root.get();
    for (int k = 0; k < 1'000'000; ++k) node = AddTag(node, "div");
    AddText(node, "deep");
    EXPECT_EQ(GetNodeText(root.get()), "deep");
    TTagNodeList list;
    FindAllTags(root.get(), "DIV", &list);
    EXPECT_EQ(list.TagListCount(), 1'000'000);
    list.ClearTagList();
    root.reset();
}

}  // namespace
}  // namespace vemra
