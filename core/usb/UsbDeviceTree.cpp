#include "core/usb/UsbDeviceTree.h"

#include <memory>
#include <vector>

UsbDeviceTree::Iterator& UsbDeviceTree::Iterator::operator++()
{
    if (node_->firstChild) {
        node_ = node_->firstChild;
        return *this;
    }
    // The root's next sibling is the end node, so climbing past the last subtree ends there.
    while (node_ && !node_->nextSibling)
        node_ = node_->parent;
    node_ = node_ ? node_->nextSibling : nullptr;
    return *this;
}

UsbDeviceTree::UsbDeviceTree() = default;

UsbDeviceTree::UsbDeviceTree(const UsbDeviceTree& other) : UsbDeviceTree()
{
    CopyFrom(other);
}

UsbDeviceTree& UsbDeviceTree::operator=(const UsbDeviceTree& other)
{
    if (this != &other)
        CopyFrom(other);
    return *this;
}

UsbDeviceTree::~UsbDeviceTree()
{
    Clear();
}

UsbDeviceTree::Node* UsbDeviceTree::SetRoot(const UsbDeviceNodeInfo& info)
{
    if (!root_) {
        // Owned here until linked in, so a failed copy of the texts leaks nothing.
        std::unique_ptr<Node> root(new Node);
        root->info = info;
        root->nextSibling = &end_;
        root_ = root.release();
    }
    return root_;
}

UsbDeviceTree::Node* UsbDeviceTree::AppendChild(Node* node, const UsbDeviceNodeInfo& info)
{
    std::unique_ptr<Node> owned(new Node);
    owned->info = info;
    Node* child = owned.release();
    child->parent = node;
    child->depth = node->depth + 1;
    child->previousSibling = node->lastChild;
    if (node->lastChild)
        node->lastChild->nextSibling = child;
    else
        node->firstChild = child;
    node->lastChild = child;
    ++node->childCount;
    return child;
}

UsbDeviceTree::Node* UsbDeviceTree::AppendSibling(Node* node, const UsbDeviceNodeInfo& info)
{
    return node->parent ? AppendChild(node->parent, info) : nullptr;
}

size_t UsbDeviceTree::Size() const
{
    size_t count = 0;
    for (Iterator it = Begin(); it != End(); ++it)
        ++count;
    return count;
}

void UsbDeviceTree::Clear()
{
    // Collected first: deleting while walking would cut the links the walk follows.
    std::vector<Node*> nodes;
    for (Iterator it = Begin(); it != End(); ++it)
        nodes.push_back(it.Get());
    for (Node* node : nodes)
        delete node;
    root_ = nullptr;
}

void UsbDeviceTree::CopyFrom(const UsbDeviceTree& other)
{
    Clear();
    if (!other.root_)
        return;
    CopySubtree(other.root_, SetRoot(other.root_->info));
}

void UsbDeviceTree::CopySubtree(const Node* from, Node* to)
{
    for (const Node* child = from->firstChild; child; child = child->nextSibling)
        CopySubtree(child, AppendChild(to, child->info));
}

bool UsbDeviceTree::HasVolume() const
{
    for (Iterator it = Begin(); it != End(); ++it)
        if (it->info.driveLetter != 0)
            return true;
    return false;
}

bool operator==(const UsbDeviceTree& a, const UsbDeviceTree& b)
{
    UsbDeviceTree::Iterator left = a.Begin(), right = b.Begin();
    for (; left != a.End() && right != b.End(); ++left, ++right)
        if (left->depth != right->depth || left->info != right->info)
            return false;
    return left == a.End() && right == b.End();
}
