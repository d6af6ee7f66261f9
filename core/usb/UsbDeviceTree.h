#pragma once
//
//  The device nodes below one USB device: an ordered tree with one root, walked in pre-order
//  (a node, then each of its children with its whole subtree, first to last).
//
#include "core/usb/UsbDeviceNodeInfo.h"

#include <cstddef>

class UsbDeviceTree {
public:
    struct Node {
        Node* parent = nullptr;
        Node* firstChild = nullptr;
        Node* lastChild = nullptr;
        Node* previousSibling = nullptr;
        Node* nextSibling = nullptr;
        UsbDeviceNodeInfo info;
        int depth = 0;
        int childCount = 0;
    };

    // Pre-order over the whole tree; End() is the tree's end node.
    class Iterator {
    public:
        explicit Iterator(Node* node = nullptr) : node_(node) {}
        Node& operator*() const { return *node_; }
        Node* operator->() const { return node_; }
        Node* Get() const { return node_; }
        Iterator& operator++();
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.node_ == b.node_; }
        friend bool operator!=(const Iterator& a, const Iterator& b) { return a.node_ != b.node_; }

    private:
        Node* node_;
    };

    // One node's children, first to last.
    class ChildIterator {
    public:
        explicit ChildIterator(Node* node = nullptr) : node_(node) {}
        Node& operator*() const { return *node_; }
        Node* operator->() const { return node_; }
        Node* Get() const { return node_; }
        ChildIterator& operator++()
        {
            node_ = node_->nextSibling;
            return *this;
        }
        friend bool operator==(const ChildIterator& a, const ChildIterator& b) { return a.node_ == b.node_; }
        friend bool operator!=(const ChildIterator& a, const ChildIterator& b) { return a.node_ != b.node_; }

    private:
        Node* node_;
    };

    UsbDeviceTree();
    UsbDeviceTree(const UsbDeviceTree& other);
    UsbDeviceTree& operator=(const UsbDeviceTree& other);
    virtual ~UsbDeviceTree();

    // Creates the root with a copy of the info when the tree is empty; returns the root.
    Node* SetRoot(const UsbDeviceNodeInfo& info);
    Node* Root() const { return root_; }
    // A new last child of the node.
    Node* AppendChild(Node* node, const UsbDeviceNodeInfo& info);
    // A new last child of the node's parent; null for the root, which has no siblings.
    Node* AppendSibling(Node* node, const UsbDeviceNodeInfo& info);

    Iterator Begin() const { return Iterator(root_ ? root_ : const_cast<Node*>(&end_)); }
    Iterator End() const { return Iterator(const_cast<Node*>(&end_)); }
    ChildIterator FirstChild(const Node* node) const { return ChildIterator(node->firstChild); }
    ChildIterator ChildEnd(const Node*) const { return ChildIterator(); }

    bool IsEmpty() const { return root_ == nullptr; }
    size_t Size() const;
    void Clear();
    void CopyFrom(const UsbDeviceTree& other);
    // True when any node carries a drive letter.
    bool HasVolume() const;

    friend bool operator==(const UsbDeviceTree& a, const UsbDeviceTree& b);
    friend bool operator!=(const UsbDeviceTree& a, const UsbDeviceTree& b) { return !(a == b); }

private:
    void CopySubtree(const Node* from, Node* to);

    Node* root_ = nullptr;
    // Marks the end of iteration: the root's next sibling.
    Node end_;
};
