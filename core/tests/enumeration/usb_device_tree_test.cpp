#include "core/usb/UsbDeviceTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

UsbDeviceNodeInfo Info(const WCHAR* id, LONG letter = 0)
{
    UsbDeviceNodeInfo info;
    info.instanceId = id;
    info.driveLetter = letter;
    return info;
}

// device -> disk -> (volume E:, volume F:), device -> second interface
UsbDeviceTree StickWithTwoVolumes()
{
    UsbDeviceTree tree;
    UsbDeviceTree::Node* device = tree.SetRoot(Info(_T("device")));
    UsbDeviceTree::Node* disk = tree.AppendChild(device, Info(_T("disk")));
    UsbDeviceTree::Node* e = tree.AppendChild(disk, Info(_T("E"), 'E'));
    tree.AppendSibling(e, Info(_T("F"), 'F'));
    tree.AppendSibling(disk, Info(_T("interface")));
    return tree;
}

std::vector<std::pair<CString, int>> PreOrder(const UsbDeviceTree& tree)
{
    std::vector<std::pair<CString, int>> order;
    for (auto it = tree.Begin(); it != tree.End(); ++it)
        order.emplace_back(it->info.instanceId, it->depth);
    return order;
}

TEST(UsbDeviceTree, IteratesInPreOrderWithDepths)
{
    UsbDeviceTree tree = StickWithTwoVolumes();
    std::vector<std::pair<CString, int>> expected{
        {CString(_T("device")), 0}, {CString(_T("disk")), 1}, {CString(_T("E")), 2},
        {CString(_T("F")), 2}, {CString(_T("interface")), 1}};
    EXPECT_EQ(PreOrder(tree), expected);
    EXPECT_EQ(tree.Size(), 5u);
    EXPECT_EQ(tree.Root()->childCount, 2);
    EXPECT_EQ(tree.Root()->nextSibling, tree.End().Get());

    std::vector<CString> children;
    for (auto it = tree.FirstChild(tree.Root()); it != tree.ChildEnd(tree.Root()); ++it)
        children.push_back(it->info.instanceId);
    EXPECT_EQ(children, (std::vector<CString>{CString(_T("disk")), CString(_T("interface"))}));
}

TEST(UsbDeviceTree, SetRootKeepsAnExistingRootAndTheRootHasNoSiblings)
{
    UsbDeviceTree tree;
    EXPECT_TRUE(tree.Begin() == tree.End());
    UsbDeviceTree::Node* root = tree.SetRoot(Info(_T("first")));
    EXPECT_EQ(tree.SetRoot(Info(_T("second"))), root);
    EXPECT_EQ(root->info.instanceId, CString(_T("first")));
    EXPECT_EQ(tree.AppendSibling(root, Info(_T("x"))), nullptr);
}

TEST(UsbDeviceTree, CopyIsDeepAndEqual)
{
    UsbDeviceTree original = StickWithTwoVolumes();
    UsbDeviceTree copy(original);
    EXPECT_EQ(copy, original);
    copy.Root()->firstChild->info.instanceId = _T("changed");
    EXPECT_NE(copy, original);
    EXPECT_EQ(original.Root()->firstChild->info.instanceId, CString(_T("disk")));

    UsbDeviceTree assigned;
    assigned.SetRoot(Info(_T("old")));
    assigned = original;
    EXPECT_EQ(PreOrder(assigned), PreOrder(original));
    std::vector<UsbDeviceTree> grown(3, original);  // copies survive a vector's moves
    grown.resize(20, original);
    EXPECT_EQ(grown.back(), original);
    EXPECT_EQ(grown.front().Root()->nextSibling, grown.front().End().Get());
}

TEST(UsbDeviceTree, HasVolumeWhenAnyNodeCarriesALetter)
{
    EXPECT_TRUE(StickWithTwoVolumes().HasVolume());
    UsbDeviceTree tree;
    EXPECT_FALSE(tree.HasVolume());
    tree.AppendChild(tree.SetRoot(Info(_T("device"))), Info(_T("disk")));
    EXPECT_FALSE(tree.HasVolume());
    tree.Clear();
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.Size(), 0u);
}

}  // namespace
