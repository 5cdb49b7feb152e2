#pragma once
// Base of the small in-memory lists that carry their own lock (the delay
// list of file kinds, the content cache's extra roots, ...).
//
// `nodeLock` is a plain, non-recursive mutex: a subclass that takes it must
// not call addNode/clear while holding it. Every member is safe from any
// thread.

#include <mutex>
#include <utility>
#include <vector>

namespace nb {

template <typename Node>
class NodeBase {
 public:
  NodeBase() = default;
  virtual ~NodeBase() = default;
  NodeBase(const NodeBase&) = delete;
  NodeBase& operator=(const NodeBase&) = delete;

  // Appends one element under the lock.
  void addNode(Node node) {
    std::lock_guard lock(nodeLock);
    nodeArray.push_back(std::move(node));
  }
  // Appends every element in order under one hold of the lock, so no
  // reader sees only part of them.
  void addNodes(std::vector<Node> nodes) {
    std::lock_guard lock(nodeLock);
    for (auto& node : nodes) nodeArray.push_back(std::move(node));
  }
  // Empties the list under the lock.
  void clear() {
    std::lock_guard lock(nodeLock);
    nodeArray.clear();
  }
  // A copy of the list, taken under the lock.
  std::vector<Node> nodes() const {
    std::lock_guard lock(nodeLock);
    return nodeArray;
  }

 protected:
  mutable std::mutex nodeLock;
  std::vector<Node> nodeArray;  // guarded by nodeLock
};

}  // namespace nb
