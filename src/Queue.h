// First-in first-out queue of linked nodes; the queue owns a node from Add to Get.
// Uses: nothing else of ours.
#pragma once
#include <memory>

namespace Queue {

struct tNodeRec {
  std::unique_ptr<tNodeRec> next;
  virtual ~tNodeRec();
};

class tQueue {
public:
  void Init();
  bool NotEmpty() const { return first != nullptr; }
  // Callers test NotEmpty first; Get on an empty queue returns no node.
  std::unique_ptr<tNodeRec> Get();
  void Add(std::unique_ptr<tNodeRec> node);

private:
  std::unique_ptr<tNodeRec> first;
  tNodeRec* last = nullptr;
};

}  // namespace Queue
